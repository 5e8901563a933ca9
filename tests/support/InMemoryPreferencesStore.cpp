#include "support/InMemoryPreferencesStore.h"

#include "core/support/PlatformError.h"

namespace tarnwell::testing {

std::optional<QByteArray> InMemoryPreferencesStore::data(const QString& key) const {
    const auto found = values.constFind(key);
    return found == values.constEnd() ? std::nullopt : std::optional(*found);
}

void InMemoryPreferencesStore::setData(const QString& key, const QByteArray& value) {
    if (failWrites) {
        throw PlatformError(QStringLiteral("The store refused the write."));
    }
    ++writeCount;
    values.insert(key, value);
}

} // namespace tarnwell::testing
