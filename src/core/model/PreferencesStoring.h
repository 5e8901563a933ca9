#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace tarnwell {

// A persistent per-user key-value store of binary values.
class PreferencesStoring {
public:
    virtual ~PreferencesStoring() = default;

    // Nothing when the key is absent.
    virtual std::optional<QByteArray> data(const QString& key) const = 0;
    // Throws when the value could not be stored; the previous value then stays readable.
    virtual void setData(const QString& key, const QByteArray& value) = 0;
};

} // namespace tarnwell
