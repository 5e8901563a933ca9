#pragma once

#include "core/diagnostics/HealthProbing.h"

#include <memory>

namespace tarnwell {

class DesktopEntryCatalog;

// For each enabled editor bound to an enabled rule: whether its desktop entry is installed, and
// whether its launches are followed by events or only found by polling, and why; then how many of
// the kernel's file watches Tarnwell holds against the user's limit.
class EditorsProbe : public HealthProbing {
public:
    explicit EditorsProbe(std::shared_ptr<DesktopEntryCatalog> desktopEntries,
                          QString procRoot = QStringLiteral("/proc"));

    QString title() const override;
    QCoro::Task<HealthCheck> check(HealthInputs inputs) override;

    struct WatchBudget {
        // Watches held by this process, and the most a user may hold; -1 when unknown.
        qint64 inUse = -1;
        qint64 limit = -1;
    };
    static WatchBudget watchBudget(const QString& procRoot);

private:
    static QCoro::Task<HealthCheck> check(HealthInputs inputs, QSet<QString> installed, QString procRoot);

    std::shared_ptr<DesktopEntryCatalog> m_desktopEntries;
    QString m_procRoot;
};

} // namespace tarnwell
