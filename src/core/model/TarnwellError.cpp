#include "core/model/TarnwellError.h"

#include "core/support/DecodingError.h"
#include "core/support/Localization.h"
#include "core/support/PlatformError.h"

namespace tarnwell {

namespace {

QString messageOf(TarnwellError::Case errorCase, const QString& payload) {
    using Case = TarnwellError::Case;
    switch (errorCase) {
    case Case::MountFailed:
        return localizedFormat("Mount failed: %@", {payload});
    case Case::UnmountFailed:
        return localizedFormat("Unmount failed: %@", {payload});
    case Case::CommandFailed:
    case Case::Unknown:
        return payload;
    case Case::DriveNotConfigured:
        return localized("Drive is not configured.");
    case Case::DriveNotFound:
        return localized("Drive was not found.");
    case Case::DriveAlreadyMounted:
        return localized("Drive is already mounted.");
    case Case::DriveNotMounted:
        return localized("Drive is not mounted.");
    case Case::PermissionDenied:
        return localized("Permission denied.");
    }
    Q_UNREACHABLE();
}

} // namespace

// what() carries the user message too, so that code which only knows std::exception still says
// something useful.
TarnwellError::TarnwellError(Case errorCase, QString payload, qint32 exitCode)
    : std::runtime_error(messageOf(errorCase, payload).toStdString())
    , m_case(errorCase)
    , m_payload(std::move(payload))
    , m_exitCode(exitCode) {
}

QString TarnwellError::userMessage() const {
    return messageOf(m_case, m_payload);
}

bool TarnwellError::operator==(const TarnwellError& other) const {
    return m_case == other.m_case && m_payload == other.m_payload && m_exitCode == other.m_exitCode;
}

QString userFacingMessage(const std::exception& error) {
    if (const auto* tarnwellError = dynamic_cast<const TarnwellError*>(&error)) {
        return tarnwellError->userMessage();
    }
    if (const auto* decodingError = dynamic_cast<const DecodingError*>(&error)) {
        return decodingError->userMessage();
    }
    if (const auto* platformError = dynamic_cast<const PlatformError*>(&error)) {
        return platformError->message();
    }
    return QString::fromUtf8(error.what());
}

QString userFacingMessage(std::exception_ptr error) {
    try {
        std::rethrow_exception(std::move(error));
    } catch (const std::exception& caught) {
        return userFacingMessage(caught);
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

} // namespace tarnwell
