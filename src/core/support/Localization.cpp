#include "core/support/Localization.h"

#include <QCoreApplication>
#include <QList>
#include <algorithm>
#include <climits>

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

// Fills the placeholders with the arguments from first to last, in order.
QString fill(const QString& format, const FormatArgument* first, const FormatArgument* last) {
    static const QString integerPlaceholder = QStringLiteral("%lld");
    static const QString textPlaceholder = QStringLiteral("%@");

    QString result;
    result.reserve(format.size());
    const FormatArgument* next = first;
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
        if (placeholderLength == 0 || next == last) {
            result.append(character);
            ++index;
            continue;
        }
        result.append(argumentText(*next++));
        index += placeholderLength;
    }
    return result;
}

} // namespace

QString formatted(const QString& format, std::initializer_list<FormatArgument> arguments) {
    return fill(format, arguments.begin(), arguments.end());
}

QString localizedFormat(const char* key, std::initializer_list<FormatArgument> arguments) {
    return formatted(localized(key), arguments);
}

QString localizedCount(const char* key, qint64 count, std::initializer_list<FormatArgument> more) {
    const QString format =
        QCoreApplication::translate("Tarnwell", key, nullptr, int(std::clamp<qint64>(count, 0, INT_MAX)));
    QList<FormatArgument> arguments{count};
    arguments.append(QList<FormatArgument>(more));
    return fill(format, arguments.constData(), arguments.constData() + arguments.size());
}

} // namespace tarnwell
