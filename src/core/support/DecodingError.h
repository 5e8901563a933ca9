#pragma once

#include <QString>
#include <stdexcept>

namespace tarnwell {

// A stored document or tool output that does not have the expected shape. The description says
// what was wrong and the path says where, so the user-facing text can name both.
class DecodingError : public std::runtime_error {
public:
    explicit DecodingError(QString description, QString path = {});

    const QString& description() const { return m_description; }
    const QString& path() const { return m_path; }
    // "description" alone, or "description (at path)" when the path is known.
    QString userMessage() const;

private:
    QString m_description;
    QString m_path;
};

} // namespace tarnwell
