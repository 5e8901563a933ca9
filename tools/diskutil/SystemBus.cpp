#include "diskutil/SystemBus.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace tarnwell {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t methodCall = 1;
constexpr std::uint8_t methodReturn = 2;
constexpr std::uint8_t errorReply = 3;
constexpr std::uint8_t pathField = 1;
constexpr std::uint8_t interfaceField = 2;
constexpr std::uint8_t memberField = 3;
constexpr std::uint8_t replySerialField = 5;
constexpr std::uint8_t destinationField = 6;
constexpr std::uint32_t pingSerial = 2;

class Socket {
public:
    explicit Socket(int fd)
        : m_fd(fd) {}
    ~Socket() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

struct Field {
    std::uint8_t code;
    char type; // 's' or 'o'
    std::string value;
};

void align(std::string& bytes, size_t boundary) {
    while (bytes.size() % boundary != 0) {
        bytes += '\0';
    }
}

void appendUint32(std::string& bytes, std::uint32_t value) {
    align(bytes, 4);
    for (int shift = 0; shift < 32; shift += 8) {
        bytes += static_cast<char>((value >> shift) & 0xFF);
    }
}

// A little-endian method call without a body.
std::string methodCallMessage(std::uint32_t serial, const std::vector<Field>& fields) {
    std::string bytes = {'l', static_cast<char>(methodCall), 0, 1};
    appendUint32(bytes, 0);
    appendUint32(bytes, serial);
    const size_t lengthAt = bytes.size();
    appendUint32(bytes, 0);
    align(bytes, 8);
    const size_t start = bytes.size();
    for (const Field& field : fields) {
        align(bytes, 8);
        bytes += static_cast<char>(field.code);
        bytes += '\1';
        bytes += field.type;
        bytes += '\0';
        appendUint32(bytes, static_cast<std::uint32_t>(field.value.size()));
        bytes += field.value;
        bytes += '\0';
    }
    const auto length = static_cast<std::uint32_t>(bytes.size() - start);
    for (int index = 0; index < 4; ++index) {
        bytes[lengthAt + static_cast<size_t>(index)] = static_cast<char>((length >> (8 * index)) & 0xFF);
    }
    align(bytes, 8);
    return bytes;
}

std::optional<std::uint32_t> readUint32(const std::string& bytes, size_t at, bool littleEndian) {
    if (at + 4 > bytes.size()) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (int index = 0; index < 4; ++index) {
        const auto byte =
            static_cast<std::uint8_t>(bytes[at + static_cast<size_t>(littleEndian ? 3 - index : index)]);
        value = (value << 8) | byte;
    }
    return value;
}

size_t aligned(size_t offset, size_t boundary) {
    return (offset + boundary - 1) / boundary * boundary;
}

// The serial a whole message replies to, or nothing.
std::optional<std::uint32_t> replySerial(const std::string& message, bool littleEndian, size_t fieldsEnd) {
    size_t at = 16;
    while (at < fieldsEnd) {
        at = aligned(at, 8);
        if (at + 2 > fieldsEnd) {
            return std::nullopt;
        }
        const auto code = static_cast<std::uint8_t>(message[at]);
        const size_t signatureLength = static_cast<std::uint8_t>(message[at + 1]);
        if (signatureLength != 1 || at + 4 > fieldsEnd) {
            return std::nullopt;
        }
        const char type = message[at + 2];
        at += 4;
        if (type == 'u') {
            at = aligned(at, 4);
            const auto value = readUint32(message, at, littleEndian);
            if (code == replySerialField) {
                return value;
            }
            at += 4;
        } else if (type == 's' || type == 'o') {
            at = aligned(at, 4);
            const auto length = readUint32(message, at, littleEndian);
            if (!length) {
                return std::nullopt;
            }
            at += 4 + *length + 1;
        } else if (type == 'g') {
            at += static_cast<std::uint8_t>(message[at]) + 2u;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::vector<std::string> socketPaths() {
    const char* configured = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    const std::string addresses =
        configured != nullptr ? configured : "unix:path=/run/dbus/system_bus_socket";
    std::vector<std::string> paths;
    size_t start = 0;
    while (start <= addresses.size()) {
        const size_t end = std::min(addresses.find(';', start), addresses.size());
        const std::string address = addresses.substr(start, end - start);
        start = end + 1;
        if (!address.starts_with("unix:")) {
            continue;
        }
        for (const auto& [key, abstract] : {std::pair{"path=", false}, std::pair{"abstract=", true}}) {
            const size_t at = address.find(key);
            if (at == std::string::npos || (address[at - 1] != ':' && address[at - 1] != ',')) {
                continue;
            }
            std::string value = address.substr(at + std::strlen(key));
            value = value.substr(0, value.find(','));
            // Addresses escape bytes as %XX.
            std::string decoded;
            for (size_t index = 0; index < value.size(); ++index) {
                if (value[index] == '%' && index + 2 < value.size()) {
                    decoded +=
                        static_cast<char>(std::strtol(value.substr(index + 1, 2).c_str(), nullptr, 16));
                    index += 2;
                } else {
                    decoded += value[index];
                }
            }
            paths.push_back(abstract ? std::string(1, '\0') + decoded : decoded);
        }
    }
    return paths;
}

bool sendAll(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t count = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count <= 0) {
            return false;
        }
        sent += static_cast<size_t>(count);
    }
    return true;
}

// Appends what arrives before the deadline; false when the peer closed or time ran out.
bool receive(int fd, std::string& buffer, Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd descriptor = {fd, POLLIN, 0};
    if (left <= 0 || ::poll(&descriptor, 1, static_cast<int>(left)) <= 0) {
        return false;
    }
    char chunk[4096];
    const ssize_t count = ::recv(fd, chunk, sizeof chunk, 0);
    if (count <= 0) {
        return false;
    }
    buffer.append(chunk, static_cast<size_t>(count));
    return true;
}

// Nothing when the bus cannot be reached at this address.
std::optional<bool> pingOver(const std::string& socketPath, const std::string& destination,
                             const std::string& path, Clock::time_point deadline) {
    const Socket socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket.fd() < 0 || socketPath.empty() || socketPath.size() >= sizeof address.sun_path) {
        return std::nullopt;
    }
    std::memcpy(address.sun_path, socketPath.data(), socketPath.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + socketPath.size() +
                                               (socketPath.front() == '\0' ? 0 : 1));
    if (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        return std::nullopt;
    }
    // The bus knows who we are from the socket; EXTERNAL names the same user id, in hexadecimal
    // digits of its decimal text.
    std::string user;
    for (const char digit : std::to_string(::geteuid())) {
        static const char hex[] = "0123456789abcdef";
        user += hex[static_cast<unsigned char>(digit) >> 4];
        user += hex[static_cast<unsigned char>(digit) & 0xF];
    }
    std::string buffer;
    if (!sendAll(socket.fd(), std::string(1, '\0') + "AUTH EXTERNAL " + user + "\r\n")) {
        return false;
    }
    while (buffer.find("\r\n") == std::string::npos) {
        if (!receive(socket.fd(), buffer, deadline)) {
            return false;
        }
    }
    if (!buffer.starts_with("OK ")) {
        return false;
    }
    buffer.erase(0, buffer.find("\r\n") + 2);
    const std::string hello = methodCallMessage(1, {{pathField, 'o', "/org/freedesktop/DBus"},
                                                    {interfaceField, 's', "org.freedesktop.DBus"},
                                                    {memberField, 's', "Hello"},
                                                    {destinationField, 's', "org.freedesktop.DBus"}});
    const std::string ping =
        methodCallMessage(pingSerial, {{pathField, 'o', path},
                                       {interfaceField, 's', "org.freedesktop.DBus.Peer"},
                                       {memberField, 's', "Ping"},
                                       {destinationField, 's', destination}});
    if (!sendAll(socket.fd(), "BEGIN\r\n" + hello + ping)) {
        return false;
    }
    for (;;) {
        while (buffer.size() < 16) {
            if (!receive(socket.fd(), buffer, deadline)) {
                return false;
            }
        }
        const bool littleEndian = buffer[0] == 'l';
        const auto bodyLength = readUint32(buffer, 4, littleEndian);
        const auto fieldsLength = readUint32(buffer, 12, littleEndian);
        if ((!littleEndian && buffer[0] != 'B') || !bodyLength || !fieldsLength || *bodyLength > (1u << 27) ||
            *fieldsLength > (1u << 26)) {
            return false;
        }
        const size_t fieldsEnd = 16 + *fieldsLength;
        const size_t total = aligned(fieldsEnd, 8) + *bodyLength;
        while (buffer.size() < total) {
            if (!receive(socket.fd(), buffer, deadline)) {
                return false;
            }
        }
        const std::string message = buffer.substr(0, total);
        buffer.erase(0, total);
        const auto type = static_cast<std::uint8_t>(message[1]);
        if ((type == methodReturn || type == errorReply) &&
            replySerial(message, littleEndian, fieldsEnd) == pingSerial) {
            return type == methodReturn;
        }
    }
}

} // namespace

bool SystemBus::ping(const std::string& destination, const std::string& path, int timeoutMilliseconds) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    for (const std::string& socketPath : socketPaths()) {
        if (const auto answered = pingOver(socketPath, destination, path, deadline)) {
            return *answered;
        }
    }
    return false;
}

} // namespace tarnwell
