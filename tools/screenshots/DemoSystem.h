#pragma once

#include "app/TarnwellContainer.h"

#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace tarnwell {

// A Tarnwell to look at and to measure: the real container over a disk tool given by path (the
// fake one built with the tests) and a configuration kept in memory. The demo configuration has a
// rule resting in each state that has a symbol of its own: mounted, ready to unmount, failed to
// mount, failed to unmount, target not found, not mounted and disabled.
class DemoSystem {
public:
    enum class Configuration { Empty, Demo };

    DemoSystem(Configuration configuration, const QString& diskToolPath);
    ~DemoSystem();

    // Runs the event loop until start-up has finished and, for the demo, the refusing volume was tried.
    void settle();
    TarnwellContainer* container() const { return m_container.get(); }

private:
    QTemporaryDir m_folder;
    std::unique_ptr<TarnwellContainer> m_container;
    Configuration m_configuration;
};

} // namespace tarnwell
