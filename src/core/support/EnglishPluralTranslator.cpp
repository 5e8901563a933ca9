#include "core/support/EnglishPluralTranslator.h"

#include <QHash>

namespace tarnwell {

QString EnglishPluralTranslator::translate(const char* context, const char* sourceText, const char*,
                                           int n) const {
    static const QHash<QByteArray, QString> singulars{
        {"%lld issues", QStringLiteral("%lld issue")},
        {"%lld errors", QStringLiteral("%lld error")},
        {"%lld targets / %lld mounted", QStringLiteral("%lld target / %lld mounted")},
        {"%lld apps running", QStringLiteral("%lld app running")},
        {"%lld apps enabled", QStringLiteral("%lld app enabled")},
        {"%lld apps bound", QStringLiteral("%lld app bound")},
        {"Auto-unmount after %lld seconds", QStringLiteral("Auto-unmount after %lld second")},
        {"Copied %lld log lines", QStringLiteral("Copied %lld log line")},
    };
    if (n != 1 || qstrcmp(context, "Tarnwell") != 0) {
        return {};
    }
    return singulars.value(QByteArray(sourceText));
}

} // namespace tarnwell
