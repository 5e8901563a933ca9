#pragma once

#include <QString>
#include <exception>
#include <stdexcept>

namespace tarnwell {

// The one error type of the disk, storage-target and controller layers. Each case has a fixed
// user-facing message.
class TarnwellError : public std::runtime_error {
public:
    enum class Case {
        MountFailed,
        UnmountFailed,
        CommandFailed,
        Unknown,
        DriveNotConfigured,
        DriveNotFound,
        DriveAlreadyMounted,
        DriveNotMounted,
        PermissionDenied,
    };

    static TarnwellError mountFailed(QString message) {
        return TarnwellError(Case::MountFailed, std::move(message));
    }
    static TarnwellError unmountFailed(QString message) {
        return TarnwellError(Case::UnmountFailed, std::move(message));
    }
    static TarnwellError commandFailed(qint32 exitCode, QString standardError) {
        return TarnwellError(Case::CommandFailed, std::move(standardError), exitCode);
    }
    static TarnwellError unknown(QString message) { return TarnwellError(Case::Unknown, std::move(message)); }
    static TarnwellError driveNotConfigured() { return TarnwellError(Case::DriveNotConfigured); }
    static TarnwellError driveNotFound() { return TarnwellError(Case::DriveNotFound); }
    static TarnwellError driveAlreadyMounted() { return TarnwellError(Case::DriveAlreadyMounted); }
    static TarnwellError driveNotMounted() { return TarnwellError(Case::DriveNotMounted); }
    static TarnwellError permissionDenied() { return TarnwellError(Case::PermissionDenied); }
    // For targets the system cannot serve.
    static TarnwellError unsupportedStorageTarget(QString message) { return unknown(std::move(message)); }

    Case errorCase() const { return m_case; }
    // The message of mountFailed, unmountFailed and unknown; the standard error of commandFailed.
    const QString& payload() const { return m_payload; }
    qint32 exitCode() const { return m_exitCode; }

    QString userMessage() const;

    bool operator==(const TarnwellError& other) const;

private:
    TarnwellError(Case errorCase, QString payload = {}, qint32 exitCode = 0);

    Case m_case;
    QString m_payload;
    qint32 m_exitCode;
};

// The text shown to the user for any error: the user message of the project's own error types,
// otherwise the exception's own description.
QString userFacingMessage(const std::exception& error);
QString userFacingMessage(std::exception_ptr error);

} // namespace tarnwell
