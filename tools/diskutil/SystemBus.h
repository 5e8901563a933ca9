#pragma once

#include <string>

namespace tarnwell {

// Just enough of the D-Bus wire protocol to ask the system bus whether a service answers: the
// check before every mount and unmount, where loading a D-Bus library or starting a client
// program would cost more than the question.
class SystemBus {
public:
    // Sends org.freedesktop.DBus.Peer.Ping to DESTINATION at PATH on the system bus (the address in
    // DBUS_SYSTEM_BUS_ADDRESS, or the standard socket), letting the bus start the service as a
    // client library would, and says whether a reply came within the time limit.
    static bool ping(const std::string& destination, const std::string& path, int timeoutMilliseconds);
};

} // namespace tarnwell
