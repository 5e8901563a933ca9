#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace tarnwell {

// Just enough of the D-Bus wire protocol for the disk tool's few calls on the system bus, where
// loading a D-Bus library or starting a client program would cost more than the calls themselves.
// The bus starts a service that is not running yet, as a client library would let it.
class SystemBus {
public:
    using Clock = std::chrono::steady_clock;
    // A dictionary of options (a{sv}) whose values are strings or booleans.
    using Options = std::vector<std::pair<std::string, std::variant<std::string, bool>>>;
    // A string (s) or such a dictionary.
    using Argument = std::variant<std::string, Options>;

    // The system's own bus.
    static constexpr const char* systemAddress = "unix:path=/run/dbus/system_bus_socket";

    struct Call {
        std::string destination;
        std::string path;
        std::string interface;
        std::string member;
        std::vector<Argument> arguments;
    };

    struct Reply {
        // Empty for a method's return.
        std::string errorName;
        // An error's message; a return's first argument when it is a string, or the first object
        // path of an array of them ("" for an empty array or anything else).
        std::string text;
        // A return's first argument when it is an unsigned 32-bit number.
        std::optional<std::uint32_t> number;

        bool isError() const { return !errorName.empty(); }
    };

    SystemBus(SystemBus&& other) noexcept;
    SystemBus& operator=(SystemBus&&) = delete;
    SystemBus(const SystemBus&) = delete;
    SystemBus& operator=(const SystemBus&) = delete;
    ~SystemBus();

    // An authenticated connection to the bus at ADDRESS (D-Bus address syntax, alternatives
    // separated by ";"), or nothing when none reaches the bus before the deadline.
    static std::optional<SystemBus> connect(const std::string& address, Clock::time_point deadline);

    // The reply to the call, or nothing when none came before the deadline or the bus closed the
    // connection.
    std::optional<Reply> call(const Call& call, Clock::time_point deadline);

private:
    explicit SystemBus(int fd);
    bool receive(Clock::time_point deadline);

    int m_fd;
    std::uint32_t m_serial = 1;
    std::string m_buffer;
};

} // namespace tarnwell
