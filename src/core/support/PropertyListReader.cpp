#include "core/support/PropertyListReader.h"

#include "core/support/DecodingError.h"

#include <QXmlStreamReader>
#include <cmath>

namespace tarnwell {

namespace {

class Parser {
public:
    explicit Parser(const QByteArray& xml)
        : m_reader(xml) {}

    PropertyList parseDocument() {
        if (!m_reader.readNextStartElement()) {
            fail(QStringLiteral("The document has no property list"));
        }
        PropertyList result;
        if (m_reader.name() == u"plist") {
            if (!m_reader.readNextStartElement()) {
                fail(QStringLiteral("The property list is empty"));
            }
            result = parseValue(1);
            if (m_reader.readNextStartElement()) {
                fail(QStringLiteral("The property list has more than one top-level value"));
            }
        } else {
            result = parseValue(1);
        }
        while (!m_reader.atEnd()) {
            m_reader.readNext();
            if (m_reader.isStartElement()) {
                fail(QStringLiteral("Unexpected content after the property list"));
            }
        }
        checkReader();
        return result;
    }

private:
    [[noreturn]] void fail(const QString& description) {
        throw DecodingError(
            description,
            QStringLiteral("line %1, column %2").arg(m_reader.lineNumber()).arg(m_reader.columnNumber()));
    }

    void checkReader() {
        if (m_reader.hasError()) {
            fail(m_reader.errorString());
        }
    }

    QString elementText() {
        const QString text = m_reader.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        checkReader();
        return text;
    }

    // Called with the reader on a value's start element; leaves it on that element's end.
    PropertyList parseValue(int depth) {
        checkReader();
        if (depth > PropertyListReader::maximumDepth) {
            fail(QStringLiteral("The property list is nested too deeply"));
        }
        const QString name = m_reader.name().toString();
        if (name == u"dict") {
            return parseDictionary(depth);
        }
        if (name == u"array") {
            PropertyList::Array items;
            while (m_reader.readNextStartElement()) {
                items.push_back(parseValue(depth + 1));
            }
            checkReader();
            return PropertyList(std::move(items));
        }
        if (name == u"string") {
            return PropertyList(elementText());
        }
        if (name == u"integer") {
            return parseInteger(elementText().trimmed());
        }
        if (name == u"real") {
            return parseReal(elementText().trimmed());
        }
        if (name == u"true" || name == u"false") {
            if (!elementText().trimmed().isEmpty()) {
                fail(QStringLiteral("A boolean element must be empty"));
            }
            return PropertyList(name == u"true");
        }
        if (name == u"date") {
            const QDateTime date = QDateTime::fromString(elementText().trimmed(), Qt::ISODate);
            if (!date.isValid()) {
                fail(QStringLiteral("Invalid date"));
            }
            return PropertyList(date);
        }
        if (name == u"data") {
            QByteArray encoded = elementText().toLatin1();
            encoded.removeIf([](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; });
            auto decoded = QByteArray::fromBase64Encoding(encoded, QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded) {
                fail(QStringLiteral("Invalid base64 data"));
            }
            return PropertyList(*decoded);
        }
        fail(QStringLiteral("Unknown property list element <%1>").arg(name));
    }

    PropertyList parseDictionary(int depth) {
        PropertyList::Dictionary entries;
        while (m_reader.readNextStartElement()) {
            if (m_reader.name() != u"key") {
                fail(QStringLiteral("Expected <key> in a dictionary, found <%1>").arg(m_reader.name()));
            }
            QString key = elementText();
            if (!m_reader.readNextStartElement()) {
                checkReader();
                fail(QStringLiteral("The dictionary key \"%1\" has no value").arg(key));
            }
            entries.emplace_back(std::move(key), parseValue(depth + 1));
        }
        checkReader();
        return PropertyList(std::move(entries));
    }

    PropertyList parseInteger(const QString& text) {
        bool ok = false;
        qint64 value = 0;
        if (text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)) {
            value = text.mid(2).toLongLong(&ok, 16);
        } else {
            value = text.toLongLong(&ok, 10);
        }
        if (!ok) {
            fail(QStringLiteral("Invalid integer \"%1\"").arg(text));
        }
        return PropertyList(value);
    }

    PropertyList parseReal(const QString& text) {
        const QString lowered = text.toLower();
        if (lowered == u"nan") {
            return PropertyList(std::nan(""));
        }
        if (lowered == u"inf" || lowered == u"+inf" || lowered == u"infinity") {
            return PropertyList(HUGE_VAL);
        }
        if (lowered == u"-inf" || lowered == u"-infinity") {
            return PropertyList(-HUGE_VAL);
        }
        bool ok = false;
        const double value = text.toDouble(&ok);
        if (!ok) {
            fail(QStringLiteral("Invalid real number \"%1\"").arg(text));
        }
        return PropertyList(value);
    }

    QXmlStreamReader m_reader;
};

} // namespace

PropertyList PropertyListReader::read(const QByteArray& xml) {
    return Parser(xml).parseDocument();
}

} // namespace tarnwell
