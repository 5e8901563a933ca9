#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <functional>
#include <optional>
#include <sys/types.h>

namespace tarnwell {

// How many processes of each application run, and what their observers are told: an application is
// launched when its first process appears and terminated when its last one ends. A quit is held back
// while the ended process's parent may still be starting the next instance, and an application that
// ended and came back meanwhile has never stopped for its observers.
class InstanceCount {
public:
    // An application whose count changed since the last report: whether it ran before, and the
    // parent of its last process to end, since that parent's next fork may be its next instance.
    struct Change {
        QString identifier;
        bool wasRunning = false;
        pid_t parentOfEnded = 0;
    };
    using Changes = QList<Change>;

    // What the observers are to be told, terminations first.
    struct Report {
        QList<QString> terminated;
        QList<QString> launched;
    };

    // Counts one process more (+1) or less (-1) of the application, if the process is one.
    void count(const std::optional<QString>& identifier, int change, pid_t parent, Changes& changed);
    bool isRunning(const QString& identifier) const { return m_instances.contains(identifier); }

    // What the changes mean to the observers; a quit whose parent may still be starting the next
    // instance is held until it may not.
    Report settle(const Changes& changed, const std::function<bool(pid_t parent)>& mayStillStartNext);
    bool hasHeldTerminations() const { return !m_heldTerminations.isEmpty(); }

private:
    QHash<QString, int> m_instances;
    // Applications whose last process ended while its parent may still be starting the next one,
    // with that parent.
    QHash<QString, pid_t> m_heldTerminations;
};

} // namespace tarnwell
