#include "core/model/StorageTargetRuntimeStatus.h"

#include <array>

namespace tarnwell {

namespace {
using Kind = StorageTargetRuntimeStatus::Kind;

const std::array<std::pair<Kind, const char16_t*>, 9> kindNames{{
    {Kind::NotConfigured, u"notConfigured"},
    {Kind::Mounted, u"mounted"},
    {Kind::NotMounted, u"notMounted"},
    {Kind::Mounting, u"mounting"},
    {Kind::Unmounting, u"unmounting"},
    {Kind::ReadyToUnmount, u"readyToUnmount"},
    {Kind::TargetNotFound, u"targetNotFound"},
    {Kind::MountFailed, u"mountFailed"},
    {Kind::UnmountFailed, u"unmountFailed"},
}};
} // namespace

StorageTargetRuntimeStatus StorageTargetRuntimeStatus::mountFailed(QString message) {
    return StorageTargetRuntimeStatus(Kind::MountFailed, std::move(message));
}

StorageTargetRuntimeStatus StorageTargetRuntimeStatus::unmountFailed(QString message) {
    return StorageTargetRuntimeStatus(Kind::UnmountFailed, std::move(message));
}

QString StorageTargetRuntimeStatus::name(Kind kind) {
    for (const auto& [candidate, text] : kindNames) {
        if (candidate == kind) {
            return QString::fromUtf16(text);
        }
    }
    Q_UNREACHABLE();
}

std::optional<StorageTargetRuntimeStatus::Kind>
StorageTargetRuntimeStatus::kindFromName(const QString& name) {
    for (const auto& [kind, text] : kindNames) {
        if (name == QStringView(text)) {
            return kind;
        }
    }
    return std::nullopt;
}

bool StorageTargetRuntimeStatus::canRequestManualMount() const {
    switch (m_kind) {
    case Kind::NotConfigured:
    case Kind::NotMounted:
    case Kind::TargetNotFound:
    case Kind::MountFailed:
        return true;
    case Kind::Mounted:
    case Kind::Mounting:
    case Kind::Unmounting:
    case Kind::ReadyToUnmount:
    case Kind::UnmountFailed:
        return false;
    }
    Q_UNREACHABLE();
}

} // namespace tarnwell
