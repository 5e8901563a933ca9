#pragma once

#include <QString>
#include <QtGlobal>
#include <initializer_list>
#include <variant>

namespace tarnwell {

// User-visible texts are keys whose English text is the key itself.
QString localized(const char* key);

// One value for a "%lld" (64-bit integer) or "%@" (text) placeholder.
using FormatArgument = std::variant<qint64, QString>;

// Fills the placeholders of an already localised format in order. "%%" stands for a literal
// percent sign. A placeholder whose argument has the other kind still receives that argument's
// text, so a mistake shows up in the text rather than as a crash.
QString formatted(const QString& format, std::initializer_list<FormatArgument> arguments);

// localized(key) followed by formatted().
QString localizedFormat(const char* key, std::initializer_list<FormatArgument> arguments);

// A counted text: the key is looked up with the count, so the installed translators choose the
// plural form, and the count fills the first placeholder, the other arguments the rest.
QString localizedCount(const char* key, qint64 count, std::initializer_list<FormatArgument> more = {});

} // namespace tarnwell
