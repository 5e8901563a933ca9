#pragma once

#include "app/TarnwellContainer.h"

#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace tarnwell {

// A Tarnwell to look at and to measure: the real container over a disk tool given by path (the
// fake one built with the tests) and a configuration kept in memory. The demo configuration has
// three rules that end in different states: mounted, failed to mount and target not found.
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
