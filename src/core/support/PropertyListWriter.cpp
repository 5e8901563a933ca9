#include "core/support/PropertyListWriter.h"

#include <QXmlStreamWriter>

namespace tarnwell {

namespace {

QString xmlSafe(const QString& text) {
    QString result;
    result.reserve(text.size());
    for (qsizetype index = 0; index < text.size(); ++index) {
        const QChar character = text.at(index);
        if (character.isHighSurrogate() && index + 1 < text.size() && text.at(index + 1).isLowSurrogate()) {
            result.append(character);
            result.append(text.at(++index));
            continue;
        }
        const char16_t code = character.unicode();
        const bool allowedControl = code == u'\t' || code == u'\n' || code == u'\r';
        const bool invalid =
            (code < 0x20 && !allowedControl) || character.isSurrogate() || code == 0xFFFE || code == 0xFFFF;
        result.append(invalid ? QChar(QChar::ReplacementCharacter) : character);
    }
    return result;
}

// XML readers turn a literal carriage return into a line feed, so one that belongs to the text is
// written as a character reference to read back as itself.
void writeTextElement(QXmlStreamWriter& writer, const QString& name, const QString& text) {
    writer.writeStartElement(name);
    const QStringList lines = xmlSafe(text).split(QLatin1Char('\r'));
    for (qsizetype index = 0; index < lines.size(); ++index) {
        if (index > 0) {
            writer.writeEntityReference(QStringLiteral("#13"));
        }
        writer.writeCharacters(lines.at(index));
    }
    writer.writeEndElement();
}

void writeValue(QXmlStreamWriter& writer, const PropertyList& value) {
    switch (value.kind()) {
    case PropertyList::Kind::String:
        writeTextElement(writer, QStringLiteral("string"), *value.string());
        break;
    case PropertyList::Kind::Integer:
        writer.writeTextElement(QStringLiteral("integer"), QString::number(*value.integer()));
        break;
    case PropertyList::Kind::Real:
        writer.writeTextElement(QStringLiteral("real"), QString::number(*value.real(), 'g', 17));
        break;
    case PropertyList::Kind::Boolean:
        writer.writeEmptyElement(*value.boolean() ? QStringLiteral("true") : QStringLiteral("false"));
        break;
    case PropertyList::Kind::Date:
        writer.writeTextElement(QStringLiteral("date"), value.date()->toUTC().toString(Qt::ISODate));
        break;
    case PropertyList::Kind::Data:
        writer.writeTextElement(QStringLiteral("data"), QString::fromLatin1(value.data()->toBase64()));
        break;
    case PropertyList::Kind::Array:
        writer.writeStartElement(QStringLiteral("array"));
        for (const auto& item : *value.array()) {
            writeValue(writer, item);
        }
        writer.writeEndElement();
        break;
    case PropertyList::Kind::Dictionary:
        writer.writeStartElement(QStringLiteral("dict"));
        for (const auto& [key, item] : *value.dictionary()) {
            writeTextElement(writer, QStringLiteral("key"), key);
            writeValue(writer, item);
        }
        writer.writeEndElement();
        break;
    }
}

} // namespace

QByteArray PropertyListWriter::write(const PropertyList& value) {
    QByteArray output;
    QXmlStreamWriter writer(&output);
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(-1);
    writer.writeStartDocument();
    writer.writeDTD(QStringLiteral("<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                   "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">"));
    writer.writeStartElement(QStringLiteral("plist"));
    writer.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
    writeValue(writer, value);
    writer.writeEndElement();
    writer.writeEndDocument();
    return output;
}

} // namespace tarnwell
