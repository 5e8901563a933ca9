#include "core/support/PropertyList.h"

namespace tarnwell {

PropertyList::PropertyList()
    : m_value(Dictionary{}) {
}
PropertyList::PropertyList(QString string)
    : m_value(std::move(string)) {
}
PropertyList::PropertyList(const char* string)
    : m_value(QString::fromUtf8(string)) {
}
PropertyList::PropertyList(qint64 integer)
    : m_value(integer) {
}
PropertyList::PropertyList(int integer)
    : m_value(qint64{integer}) {
}
PropertyList::PropertyList(double real)
    : m_value(real) {
}
PropertyList::PropertyList(bool boolean)
    : m_value(boolean) {
}
PropertyList::PropertyList(QDateTime date)
    : m_value(std::move(date)) {
}
PropertyList::PropertyList(QByteArray data)
    : m_value(std::move(data)) {
}
PropertyList::PropertyList(Array array)
    : m_value(std::move(array)) {
}
PropertyList::PropertyList(Dictionary dictionary)
    : m_value(std::move(dictionary)) {
}

PropertyList::Kind PropertyList::kind() const {
    return static_cast<Kind>(m_value.index());
}

namespace {
template <typename T, typename Variant> std::optional<T> optionalGet(const Variant& value) {
    if (const auto* held = std::get_if<T>(&value)) {
        return *held;
    }
    return std::nullopt;
}
} // namespace

std::optional<QString> PropertyList::string() const {
    return optionalGet<QString>(m_value);
}
std::optional<qint64> PropertyList::integer() const {
    return optionalGet<qint64>(m_value);
}
std::optional<double> PropertyList::real() const {
    return optionalGet<double>(m_value);
}
std::optional<bool> PropertyList::boolean() const {
    return optionalGet<bool>(m_value);
}
std::optional<QDateTime> PropertyList::date() const {
    return optionalGet<QDateTime>(m_value);
}
std::optional<QByteArray> PropertyList::data() const {
    return optionalGet<QByteArray>(m_value);
}
const PropertyList::Array* PropertyList::array() const {
    return std::get_if<Array>(&m_value);
}
const PropertyList::Dictionary* PropertyList::dictionary() const {
    return std::get_if<Dictionary>(&m_value);
}

const PropertyList* PropertyList::value(const QString& key) const {
    const auto* entries = dictionary();
    if (!entries) {
        return nullptr;
    }
    for (const auto& [entryKey, entryValue] : *entries) {
        if (entryKey == key) {
            return &entryValue;
        }
    }
    return nullptr;
}

std::optional<QString> PropertyList::string(const QString& key) const {
    const auto* found = value(key);
    return found ? found->string() : std::nullopt;
}

std::optional<qint64> PropertyList::integer(const QString& key) const {
    const auto* found = value(key);
    return found ? found->integer() : std::nullopt;
}

std::optional<bool> PropertyList::boolean(const QString& key) const {
    const auto* found = value(key);
    return found ? found->boolean() : std::nullopt;
}

const PropertyList::Array* PropertyList::array(const QString& key) const {
    const auto* found = value(key);
    return found ? found->array() : nullptr;
}

const PropertyList::Dictionary* PropertyList::dictionary(const QString& key) const {
    const auto* found = value(key);
    return found ? found->dictionary() : nullptr;
}

bool PropertyList::operator==(const PropertyList& other) const {
    return m_value == other.m_value;
}

} // namespace tarnwell
