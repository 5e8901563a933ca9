#include "diskutil/SystemBus.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tarnwell {

namespace {

constexpr std::uint8_t methodCall = 1;
constexpr std::uint8_t methodReturn = 2;
constexpr std::uint8_t errorReply = 3;
constexpr std::uint8_t pathField = 1;
constexpr std::uint8_t interfaceField = 2;
constexpr std::uint8_t memberField = 3;
constexpr std::uint8_t errorNameField = 4;
constexpr std::uint8_t replySerialField = 5;
constexpr std::uint8_t destinationField = 6;
constexpr std::uint8_t signatureField = 8;

struct Field {
    std::uint8_t code;
    char type; // 's', 'o' or 'g'
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

void putUint32(std::string& bytes, size_t at, std::uint32_t value) {
    for (int index = 0; index < 4; ++index) {
        bytes[at + static_cast<size_t>(index)] = static_cast<char>((value >> (8 * index)) & 0xFF);
    }
}

void appendString(std::string& bytes, const std::string& text) {
    appendUint32(bytes, static_cast<std::uint32_t>(text.size()));
    bytes += text;
    bytes += '\0';
}

void appendSignature(std::string& bytes, const std::string& signature) {
    bytes += static_cast<char>(signature.size());
    bytes += signature;
    bytes += '\0';
}

// An a{sv} whose values are strings or booleans. The body starts on a boundary of 8 in the
// message, so aligning within the body aligns within the message.
void appendOptions(std::string& body, const SystemBus::Options& options) {
    appendUint32(body, 0);
    const size_t lengthAt = body.size() - 4;
    align(body, 8);
    const size_t start = body.size();
    for (const auto& [key, value] : options) {
        align(body, 8);
        appendString(body, key);
        if (const bool* flag = std::get_if<bool>(&value)) {
            appendSignature(body, "b");
            appendUint32(body, *flag ? 1 : 0);
        } else {
            appendSignature(body, "s");
            appendString(body, std::get<std::string>(value));
        }
    }
    putUint32(body, lengthAt, static_cast<std::uint32_t>(body.size() - start));
}

// A little-endian method call.
std::string methodCallMessage(std::uint32_t serial, std::vector<Field> fields, const std::string& body) {
    std::string bytes = {'l', static_cast<char>(methodCall), 0, 1};
    appendUint32(bytes, static_cast<std::uint32_t>(body.size()));
    appendUint32(bytes, serial);
    const size_t lengthAt = bytes.size();
    appendUint32(bytes, 0);
    const size_t start = bytes.size();
    for (const Field& field : fields) {
        align(bytes, 8);
        bytes += static_cast<char>(field.code);
        appendSignature(bytes, std::string(1, field.type));
        if (field.type == 'g') {
            appendSignature(bytes, field.value);
        } else {
            appendString(bytes, field.value);
        }
    }
    putUint32(bytes, lengthAt, static_cast<std::uint32_t>(bytes.size() - start));
    align(bytes, 8);
    return bytes + body;
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

// A string at AT (its length first); nothing when it runs past the end.
std::optional<std::string> readString(const std::string& bytes, size_t at, bool littleEndian) {
    const auto length = readUint32(bytes, aligned(at, 4), littleEndian);
    const size_t start = aligned(at, 4) + 4;
    if (!length || *length > bytes.size() || start + *length > bytes.size()) {
        return std::nullopt;
    }
    return bytes.substr(start, *length);
}

struct Header {
    std::optional<std::uint32_t> replySerial;
    std::string errorName;
    std::string signature;
};

// The header fields a reply needs; nothing when they are malformed.
std::optional<Header> readHeader(const std::string& message, bool littleEndian, size_t fieldsEnd) {
    Header header;
    size_t at = 16;
    while (at < fieldsEnd) {
        at = aligned(at, 8);
        if (at + 4 > fieldsEnd) {
            return at >= fieldsEnd ? std::optional(header) : std::nullopt;
        }
        const auto code = static_cast<std::uint8_t>(message[at]);
        if (message[at + 1] != 1) {
            return std::nullopt;
        }
        const char type = message[at + 2];
        at += 4;
        if (type == 'u') {
            const auto value = readUint32(message, aligned(at, 4), littleEndian);
            if (!value) {
                return std::nullopt;
            }
            if (code == replySerialField) {
                header.replySerial = value;
            }
            at = aligned(at, 4) + 4;
        } else if (type == 's' || type == 'o') {
            const auto value = readString(message, at, littleEndian);
            if (!value) {
                return std::nullopt;
            }
            if (code == errorNameField) {
                header.errorName = *value;
            }
            at = aligned(at, 4) + 4 + value->size() + 1;
        } else if (type == 'g') {
            const size_t length = static_cast<std::uint8_t>(message[at]);
            if (at + 1 + length > fieldsEnd) {
                return std::nullopt;
            }
            if (code == signatureField) {
                header.signature = message.substr(at + 1, length);
            }
            at += length + 2;
        } else {
            return std::nullopt;
        }
    }
    return header;
}

std::vector<std::string> socketPaths(const std::string& addresses) {
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

int connectTo(const std::string& socketPath) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd < 0 || socketPath.empty() || socketPath.size() >= sizeof address.sun_path) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    std::memcpy(address.sun_path, socketPath.data(), socketPath.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + socketPath.size() +
                                               (socketPath.front() == '\0' ? 0 : 1));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

SystemBus::SystemBus(int fd)
    : m_fd(fd) {
}

SystemBus::SystemBus(SystemBus&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
    , m_serial(other.m_serial)
    , m_buffer(std::move(other.m_buffer)) {
}

SystemBus::~SystemBus() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool SystemBus::receive(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd descriptor = {m_fd, POLLIN, 0};
    if (left <= 0 || ::poll(&descriptor, 1, static_cast<int>(left)) <= 0) {
        return false;
    }
    char chunk[4096];
    const ssize_t count = ::recv(m_fd, chunk, sizeof chunk, 0);
    if (count <= 0) {
        return false;
    }
    m_buffer.append(chunk, static_cast<size_t>(count));
    return true;
}

std::optional<SystemBus> SystemBus::connect(const std::string& address, Clock::time_point deadline) {
    for (const std::string& socketPath : socketPaths(address)) {
        const int fd = connectTo(socketPath);
        if (fd < 0) {
            continue;
        }
        SystemBus bus(fd);
        // The bus knows who we are from the socket; EXTERNAL names the same user id, in
        // hexadecimal digits of its decimal text.
        std::string user;
        for (const char digit : std::to_string(::geteuid())) {
            static const char hex[] = "0123456789abcdef";
            user += hex[static_cast<unsigned char>(digit) >> 4];
            user += hex[static_cast<unsigned char>(digit) & 0xF];
        }
        if (!sendAll(fd, std::string(1, '\0') + "AUTH EXTERNAL " + user + "\r\n")) {
            return std::nullopt;
        }
        while (bus.m_buffer.find("\r\n") == std::string::npos) {
            if (!bus.receive(deadline)) {
                return std::nullopt;
            }
        }
        if (!bus.m_buffer.starts_with("OK ")) {
            return std::nullopt;
        }
        bus.m_buffer.erase(0, bus.m_buffer.find("\r\n") + 2);
        // Hello's reply, our unique name, is never needed; it is skipped with the signals.
        const std::string hello = methodCallMessage(bus.m_serial++,
                                                    {{pathField, 'o', "/org/freedesktop/DBus"},
                                                     {interfaceField, 's', "org.freedesktop.DBus"},
                                                     {memberField, 's', "Hello"},
                                                     {destinationField, 's', "org.freedesktop.DBus"}},
                                                    {});
        if (!sendAll(fd, "BEGIN\r\n" + hello)) {
            return std::nullopt;
        }
        return bus;
    }
    return std::nullopt;
}

std::optional<SystemBus::Reply> SystemBus::call(const Call& call, Clock::time_point deadline) {
    std::string body;
    std::string signature;
    for (const Argument& argument : call.arguments) {
        if (const auto* text = std::get_if<std::string>(&argument)) {
            appendString(body, *text);
            signature += "s";
        } else {
            appendOptions(body, std::get<Options>(argument));
            signature += "a{sv}";
        }
    }
    std::vector<Field> fields = {{pathField, 'o', call.path},
                                 {interfaceField, 's', call.interface},
                                 {memberField, 's', call.member},
                                 {destinationField, 's', call.destination}};
    if (!signature.empty()) {
        fields.push_back({signatureField, 'g', signature});
    }
    const std::uint32_t serial = m_serial++;
    if (!sendAll(m_fd, methodCallMessage(serial, std::move(fields), body))) {
        return std::nullopt;
    }
    for (;;) {
        while (m_buffer.size() < 16) {
            if (!receive(deadline)) {
                return std::nullopt;
            }
        }
        const bool littleEndian = m_buffer[0] == 'l';
        const auto bodyLength = readUint32(m_buffer, 4, littleEndian);
        const auto fieldsLength = readUint32(m_buffer, 12, littleEndian);
        if ((!littleEndian && m_buffer[0] != 'B') || !bodyLength || !fieldsLength ||
            *bodyLength > (1u << 27) || *fieldsLength > (1u << 26)) {
            return std::nullopt;
        }
        const size_t fieldsEnd = 16 + *fieldsLength;
        const size_t bodyStart = aligned(fieldsEnd, 8);
        while (m_buffer.size() < bodyStart + *bodyLength) {
            if (!receive(deadline)) {
                return std::nullopt;
            }
        }
        const std::string message = m_buffer.substr(0, bodyStart + *bodyLength);
        m_buffer.erase(0, message.size());
        const auto type = static_cast<std::uint8_t>(message[1]);
        const auto header = readHeader(message, littleEndian, fieldsEnd);
        if (!header) {
            return std::nullopt;
        }
        if ((type != methodReturn && type != errorReply) || header->replySerial != serial) {
            continue;
        }
        const std::string replyBody = message.substr(bodyStart);
        Reply reply;
        if (type == errorReply) {
            // Every error carries a name; one without a name is still an error.
            reply.errorName =
                header->errorName.empty() ? "org.freedesktop.DBus.Error.Failed" : header->errorName;
        }
        if (header->signature.starts_with("u")) {
            reply.number = readUint32(replyBody, 0, littleEndian);
        } else if (header->signature.starts_with("s")) {
            reply.text = readString(replyBody, 0, littleEndian).value_or(std::string());
        } else if (header->signature.starts_with("ao")) {
            const auto length = readUint32(replyBody, 0, littleEndian);
            if (length && *length > 0) {
                reply.text = readString(replyBody, 4, littleEndian).value_or(std::string());
            }
        }
        return reply;
    }
}

} // namespace tarnwell
