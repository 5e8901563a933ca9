#include "platform/linux/InstanceCount.h"

#include <QSet>
#include <algorithm>

namespace tarnwell {

void InstanceCount::count(const std::optional<QString>& identifier, int change, pid_t parent,
                          Changes& changed) {
    if (!identifier) {
        return;
    }
    const auto instances = m_instances.find(*identifier);
    const bool wasRunning = instances != m_instances.end();
    auto entry = std::find_if(changed.begin(), changed.end(),
                              [&](const Change& entry) { return entry.identifier == *identifier; });
    if (entry == changed.end()) {
        entry = changed.insert(changed.end(), Change{*identifier, wasRunning});
    }
    if (change < 0) {
        entry->parentOfEnded = parent;
    }
    const int remaining = (wasRunning ? *instances : 0) + change;
    if (remaining > 0) {
        m_instances.insert(*identifier, remaining);
    } else if (wasRunning) {
        m_instances.erase(instances);
    }
}

InstanceCount::Report InstanceCount::settle(const Changes& changed,
                                            const std::function<bool(pid_t parent)>& mayStillStartNext) {
    // Only the difference is reported: an application that ended and came back in between has
    // never stopped for its observers. The same holds for one whose quit was held back.
    QSet<QString> cameBack;
    for (const Change& change : changed) {
        const bool running = isRunning(change.identifier);
        if (change.wasRunning && !running) {
            m_heldTerminations.insert(change.identifier, change.parentOfEnded);
        } else if (!change.wasRunning && running && m_heldTerminations.remove(change.identifier)) {
            cameBack.insert(change.identifier);
        }
    }
    Report report;
    for (auto held = m_heldTerminations.begin(); held != m_heldTerminations.end();) {
        if (mayStillStartNext(*held)) {
            ++held;
        } else {
            report.terminated.append(held.key());
            held = m_heldTerminations.erase(held);
        }
    }
    for (const Change& change : changed) {
        if (!change.wasRunning && isRunning(change.identifier) && !cameBack.contains(change.identifier)) {
            report.launched.append(change.identifier);
        }
    }
    return report;
}

} // namespace tarnwell
