#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

namespace tarnwell {

// One node of a property list. The queries are strict: asking an integer for its text gives
// nothing rather than a conversion, so a document of the wrong shape is noticed.
class PropertyList {
public:
    using Array = std::vector<PropertyList>;
    // Keys in document order; a repeated key keeps its first value for lookups.
    using Dictionary = std::vector<std::pair<QString, PropertyList>>;

    enum class Kind { String, Integer, Real, Boolean, Date, Data, Array, Dictionary };

    PropertyList();
    PropertyList(QString string);
    PropertyList(const char* string);
    PropertyList(qint64 integer);
    PropertyList(int integer);
    PropertyList(double real);
    PropertyList(bool boolean);
    PropertyList(QDateTime date);
    PropertyList(QByteArray data);
    PropertyList(Array array);
    PropertyList(Dictionary dictionary);

    Kind kind() const;

    std::optional<QString> string() const;
    std::optional<qint64> integer() const;
    std::optional<double> real() const;
    std::optional<bool> boolean() const;
    std::optional<QDateTime> date() const;
    std::optional<QByteArray> data() const;
    const Array* array() const;
    const Dictionary* dictionary() const;

    // Dictionary lookups: nothing when this is not a dictionary or the key is absent.
    const PropertyList* value(const QString& key) const;
    std::optional<QString> string(const QString& key) const;
    std::optional<qint64> integer(const QString& key) const;
    std::optional<bool> boolean(const QString& key) const;
    const Array* array(const QString& key) const;
    const Dictionary* dictionary(const QString& key) const;

    bool operator==(const PropertyList& other) const;

private:
    std::variant<QString, qint64, double, bool, QDateTime, QByteArray, Array, Dictionary> m_value;
};

} // namespace tarnwell
