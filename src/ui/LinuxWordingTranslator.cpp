#include "ui/LinuxWordingTranslator.h"

#include <QHash>

namespace tarnwell {

QString LinuxWordingTranslator::translate(const char* context, const char* sourceText, const char*,
                                          int) const {
    static const QHash<QByteArray, QString> wording{
        {"Uses macOS system language. In-app language switching is planned.",
         QStringLiteral("Uses the system language. In-app language switching is planned.")},
        {"Selected app does not have a bundle identifier.",
         QStringLiteral("The chosen file is neither an application entry nor a program that Tarnwell can "
                        "follow.")},
        {"Applications (*.desktop *.app)", QStringLiteral("Application entries (*.desktop)")},
    };
    if (qstrcmp(context, "Tarnwell") != 0) {
        return {};
    }
    return wording.value(QByteArray(sourceText));
}

} // namespace tarnwell
