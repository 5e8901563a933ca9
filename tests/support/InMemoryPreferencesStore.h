#pragma once

#include "core/model/PreferencesStoring.h"

#include <QHash>

namespace tarnwell::testing {

// A preferences store in memory that counts its writes and can be told to refuse them.
class InMemoryPreferencesStore : public PreferencesStoring {
public:
    std::optional<QByteArray> data(const QString& key) const override;
    void setData(const QString& key, const QByteArray& value) override;

    QHash<QString, QByteArray> values;
    int writeCount = 0;
    bool failWrites = false;
};

} // namespace tarnwell::testing
