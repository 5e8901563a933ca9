#include "core/support/Localization.h"

#include <QCoreApplication>

namespace tarnwell {

QString localized(const char* key) {
    return QCoreApplication::translate("Tarnwell", key);
}

namespace {
QString argumentText(const FormatArgument& argument) {
    if (const auto* number = std::get_if<qint64>(&argument)) {
        return QString::number(*number);
    }
    return std::get<QString>(argument);
}
} // namespace

QString formatted(const QString& format, std::initializer_list<FormatArgument> arguments) {
    static const QString integerPlaceholder = QStringLiteral("%lld");
    static const QString textPlaceholder = QStringLiteral("%@");

    QString result;
    result.reserve(format.size());
    auto next = arguments.begin();
    qsizetype index = 0;
    while (index < format.size()) {
        const QChar character = format.at(index);
        if (character != u'%') {
            result.append(character);
            ++index;
            continue;
        }
        if (format.mid(index, 2) == QStringLiteral("%%")) {
            result.append(u'%');
            index += 2;
            continue;
        }
        qsizetype placeholderLength = 0;
        if (format.mid(index, integerPlaceholder.size()) == integerPlaceholder) {
            placeholderLength = integerPlaceholder.size();
        } else if (format.mid(index, textPlaceholder.size()) == textPlaceholder) {
            placeholderLength = textPlaceholder.size();
        }
        if (placeholderLength == 0 || next == arguments.end()) {
            result.append(character);
            ++index;
            continue;
        }
        result.append(argumentText(*next++));
        index += placeholderLength;
    }
    return result;
}

QString localizedFormat(const char* key, std::initializer_list<FormatArgument> arguments) {
    return formatted(localized(key), arguments);
}

} // namespace tarnwell
