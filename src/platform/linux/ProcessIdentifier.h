#pragma once

#include "platform/linux/DesktopEntryCatalog.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <memory>
#include <optional>
#include <sys/types.h>

namespace tarnwell {

// The application a running process is an instance of, by its desktop-entry ID.
struct ProcessIdentity {
    QString id;
    // A folder of this instance's own, such as a portable image's per-run mount, whose programs run
    // by its descendants belong to it too.
    QString folder;

    bool operator==(const ProcessIdentity&) const = default;
};

// Names the application a running process belongs to. A descendant of an instance belongs to it
// while it runs a program the entry claims, one below the entry's install folder or one below the
// instance's own folder. Otherwise the first rule that applies wins: the Flatpak application ID;
// the one entry whose program, install folder or (for a launcher that dispatches on it) starting
// name is the process's; a portable image the entry runs, executing from its mount; the desktop file
// the launcher named for this very process; the application ID of the systemd unit the process was
// launched into. A process none of them names is not an application, and nor is a terminal or
// shell an editor opened, though it inherits the editor's unit and environment.
class ProcessIdentifier {
public:
    explicit ProcessIdentifier(
        std::shared_ptr<DesktopEntryCatalog> catalog = std::make_shared<DesktopEntryCatalog>(),
        QString procRoot = QStringLiteral("/proc"), QString searchPath = qEnvironmentVariable("PATH"),
        QString runtimeDirectory = qEnvironmentVariable("XDG_RUNTIME_DIR"));

    const QString& procRoot() const { return m_procRoot; }
    // Where the installed applications come from; until its first reading, nothing is identified.
    const std::shared_ptr<DesktopEntryCatalog>& catalog() const { return m_catalog; }

    // Who the process is, given its parent and what its parent is.
    std::optional<ProcessIdentity>
    identify(pid_t pid, pid_t parent = 0,
             const std::optional<ProcessIdentity>& parentIdentity = std::nullopt) const;

    // Reads the desktop entries again, in the background, when an application folder changed.
    void refreshIfChanged() const { m_catalog->refreshIfChanged(); }
    // Grows with every reading of the desktop entries; 0 before the first.
    quint64 revision() const;

    // The files an application's processes open when it starts: its program (for an interpreter,
    // the script) and its TryExec program, canonical, launchers left out. Nothing when no desktop
    // entry has the ID; an empty list when the entry only runs launchers.
    std::optional<QList<QString>> programsOf(const QString& id) const;
    // Whether the entry starts its application in a Flatpak sandbox, and the folder where the user's
    // sandboxed instances appear as they start (empty when the runtime folder is unknown).
    bool isSandboxed(const QString& id) const;
    QString sandboxInstanceFolder() const;

    // Applications chosen as a program or portable image that no desktop entry runs: their
    // identifier is the program's absolute path. The others among the identifiers are ignored.
    void setChosenPrograms(const QSet<QString>& identifiers);
    static bool isChosenProgram(const QString& id) { return id.startsWith(u'/'); }

    // The application ID of a systemd unit in a "/proc/PID/cgroup" text:
    // "app-[launcher-]ID[@...].service", "app-[launcher-]ID-N.scope" or, for a snap,
    // "snap.NAME.APP-UUID.scope" (the entry "NAME_APP").
    static std::optional<QString> applicationIdFromCgroup(const QString& cgroup);

    // The start time, in clock ticks after boot, from the text of a "/proc/PID/stat" file.
    static std::optional<quint64> startTimeFromStat(const QByteArray& stat);
    // The parent's PID from the same text; 0 when it cannot be read.
    static pid_t parentFromStat(const QByteArray& stat);

    // The script an interpreter runs, from its NUL-separated "/proc/PID/cmdline"; nothing when it
    // runs none (a command given with -c, a module given with -m).
    static std::optional<QString> scriptFromCommandLine(const QByteArray& commandLine);

private:
    // What a process runs: its program, or an interpreter's script, canonical; and for a script or a
    // dispatching launcher, the name it was started by.
    struct Running {
        QString program;
        std::optional<QString> invocation;
    };

    const ApplicationPrograms* programs() const;
    std::optional<QString> flatpakId(const QString& processDirectory) const;
    std::optional<Running> running(const QString& processDirectory,
                                   const ApplicationPrograms& programs) const;
    std::optional<ProcessIdentity> environmentIdentity(const QString& processDirectory, pid_t pid,
                                                       const QString& executable, bool hasParentIdentity,
                                                       const ApplicationPrograms& programs) const;
    std::optional<QString> launchedUnitId(const QString& processDirectory, pid_t parent) const;
    // The chosen program that is this canonical program, or whose install folder holds it.
    std::optional<QString> chosenProgramId(const QString& program) const;
    bool chosenProgramClaims(const QString& id, const QString& program) const;

    std::shared_ptr<DesktopEntryCatalog> m_catalog;
    QString m_procRoot;
    QString m_searchPath;
    QString m_runtimeDirectory;
    // Chosen programs, canonical, and their install folders, by identifier.
    QHash<QString, QString> m_chosenPrograms;
    QHash<QString, QString> m_chosenFolders;
};

} // namespace tarnwell
