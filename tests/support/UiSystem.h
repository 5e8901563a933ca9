#pragma once

#include "app/TarnwellContainer.h"
#include "support/FakeDiskTool.h"
#include "support/InMemoryPreferencesStore.h"
#include "support/ScriptedDriveChangeSource.h"

#include <QJsonObject>
#include <memory>

namespace tarnwell::testing {

// A whole Tarnwell behind the widgets: the real container, disk service and log over the fake
// disk tool (a real child process), with the configuration in memory and a session without
// notifications, application events or login items of the machine's own.
class UiSystem {
public:
    // One external disk with the volumes named in volumeNames; those in mountedNames are mounted,
    // those in busyNames held open by process 4242 (render).
    static QJsonObject disks(const QStringList& volumeNames, const QStringList& mountedNames = {},
                             const QStringList& busyNames = {});
    // The volume UUID the fake disk tool gives the named volume of disks().
    static QString volumeUUID(const QString& name);
    // A configuration with one enabled local rule per name, in order, each for the volume of
    // the same name and bound to no application.
    static TarnwellConfiguration configuration(const QStringList& ruleNames);

    explicit UiSystem(const TarnwellConfiguration& configuration = {}, const QJsonObject& disks = {});

    FakeDiskTool tool;
    std::shared_ptr<InMemoryPreferencesStore> preferences = std::make_shared<InMemoryPreferencesStore>();
    std::shared_ptr<testing::ScriptedDriveChangeSource> drives =
        std::make_shared<testing::ScriptedDriveChangeSource>();
    std::unique_ptr<TarnwellContainer> container;
    // Runs of the disk tool whose first argument is the command, since start-up finished.
    int runs(const QString& command) const;

private:
    qsizetype m_startupRuns = 0;
};

} // namespace tarnwell::testing
