#include "diskutil/UDisksClient.h"

#include "diskutil/SystemBus.h"

namespace tarnwell {

namespace {

const std::string service = "org.freedesktop.UDisks2";

std::chrono::steady_clock::time_point after(int milliseconds) {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

} // namespace

UDisksClient::UDisksClient(std::string busAddress, int answerMilliseconds, int operationMilliseconds)
    : m_busAddress(std::move(busAddress))
    , m_answerMilliseconds(answerMilliseconds)
    , m_operationMilliseconds(operationMilliseconds) {
}

UDisksMounting::Answer UDisksClient::mount(const std::string& devicePath) {
    return operate(devicePath, "Mount", "mounting");
}

UDisksMounting::Answer UDisksClient::unmount(const std::string& devicePath) {
    return operate(devicePath, "Unmount", "unmounting");
}

bool UDisksClient::answers() const {
    const auto deadline = after(m_answerMilliseconds);
    auto bus = SystemBus::connect(m_busAddress, deadline);
    const auto reply =
        bus ? bus->call({service, "/org/freedesktop/UDisks2", "org.freedesktop.DBus.Peer", "Ping", {}},
                        deadline)
            : std::nullopt;
    return reply && !reply->isError();
}

UDisksMounting::Answer UDisksClient::operate(const std::string& devicePath, const std::string& member,
                                             const std::string& doing) const {
    using Outcome = Answer::Outcome;
    const auto answerDeadline = after(m_answerMilliseconds);
    auto bus = SystemBus::connect(m_busAddress, answerDeadline);
    if (!bus) {
        return {};
    }
    // Its answer also tells whether the service is there at all.
    const auto resolved = bus->call({service,
                                     "/org/freedesktop/UDisks2/Manager",
                                     "org.freedesktop.UDisks2.Manager",
                                     "ResolveDevice",
                                     {SystemBus::Options{{"path", devicePath}}, SystemBus::Options{}}},
                                    answerDeadline);
    if (!resolved || resolved->isError()) {
        return {};
    }
    if (resolved->text.empty()) {
        return {Outcome::Failed, {}, "Error looking up object for device " + devicePath};
    }
    // Only root may own the name on the system's bus; an owner that is anyone else is no service
    // to hand a device to.
    const auto owner = bus->call({"org.freedesktop.DBus",
                                  "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus",
                                  "GetConnectionUnixUser",
                                  {service}},
                                 answerDeadline);
    if (!owner || owner->isError() || owner->number != 0u) {
        return {Outcome::Failed,
                {},
                "Error " + doing + " " + devicePath + ": " + service + " is not run by root"};
    }
    const auto reply = bus->call({service,
                                  resolved->text,
                                  "org.freedesktop.UDisks2.Filesystem",
                                  member,
                                  {SystemBus::Options{{"auth.no_user_interaction", true}}}},
                                 after(m_operationMilliseconds));
    if (!reply) {
        return {Outcome::Failed, {}, "Error " + doing + " " + devicePath + ": no answer from UDisks2"};
    }
    if (reply->isError()) {
        return {Outcome::Failed, reply->errorName, reply->text};
    }
    return {Outcome::Done, {}, {}};
}

} // namespace tarnwell
