#pragma once

#include <QString>
#include <stdexcept>

namespace tarnwell {

// A failure reported by the operating system (a file that cannot be written, a program that cannot
// be started). It carries the system's own text.
class PlatformError : public std::runtime_error {
public:
    explicit PlatformError(QString message);

    const QString& message() const { return m_message; }

private:
    QString m_message;
};

} // namespace tarnwell
