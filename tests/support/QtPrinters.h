#pragma once

#include <QByteArray>
#include <QString>
#include <QUuid>
#include <ostream>

// Readable GoogleTest output for the Qt types the suites compare.
inline void PrintTo(const QString& text, std::ostream* stream)
{
    *stream << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QByteArray& bytes, std::ostream* stream)
{
    *stream << '"' << bytes.left(500).toStdString() << (bytes.size() > 500 ? "...\"" : "\"");
}

inline void PrintTo(const QUuid& uuid, std::ostream* stream)
{
    *stream << uuid.toString().toStdString();
}
