#pragma once

#include <QTranslator>

namespace tarnwell {

// The English singular of every counted text. The keys are the plural English texts and stay as
// they are; Qt hands the count to each installed translator, and this one answers with the
// singular form when the count is one. Install it before the translators of other languages, so
// theirs take precedence.
class EnglishPluralTranslator : public QTranslator {
    Q_OBJECT

public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                      int n = -1) const override;
};

} // namespace tarnwell
