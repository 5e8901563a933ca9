#pragma once

#include <QTranslator>

namespace tarnwell {

// The English texts that name macOS or its concepts, said in Linux terms instead. The keys stay as
// they are, so the other languages' tables keep matching them.
class LinuxWordingTranslator : public QTranslator {
    Q_OBJECT

public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                      int n = -1) const override;
};

} // namespace tarnwell
