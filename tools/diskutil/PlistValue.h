#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace tarnwell {

// One node of the property lists the tool prints: the few kinds its documents use.
class PlistValue {
public:
    using Array = std::vector<PlistValue>;
    using Dictionary = std::vector<std::pair<std::string, PlistValue>>; // keys in document order

    PlistValue(std::string text)
        : m_value(std::move(text)) {}
    PlistValue(const char* text)
        : m_value(std::string(text)) {}
    PlistValue(std::int64_t integer)
        : m_value(integer) {}
    PlistValue(bool boolean)
        : m_value(boolean) {}
    PlistValue(Array array)
        : m_value(std::move(array)) {}
    PlistValue(Dictionary dictionary)
        : m_value(std::move(dictionary)) {}

    const std::variant<std::string, std::int64_t, bool, Array, Dictionary>& value() const { return m_value; }

    bool operator==(const PlistValue&) const = default;

private:
    std::variant<std::string, std::int64_t, bool, Array, Dictionary> m_value;
};

} // namespace tarnwell
