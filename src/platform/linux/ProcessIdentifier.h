#pragma once

#include "platform/linux/DesktopEntryIndex.h"

#include <QHash>
#include <QList>
#include <QString>
#include <optional>
#include <sys/types.h>

namespace tarnwell {

// Names the application a running process belongs to, by its desktop-entry ID. The first rule that
// applies wins: the Flatpak application ID; the one desktop entry whose program is the process's
// executable (or, for an interpreter, its script); the desktop file the launcher named in the
// process's environment; the application ID in its systemd unit. A program that launches others
// (flatpak, env, wine, steam and the like) or that several entries run names nobody by itself, so
// the later rules decide for it. A process none of them names is not an application.
class ProcessIdentifier {
public:
    explicit ProcessIdentifier(
        QString procRoot = QStringLiteral("/proc"),
        QList<QString> applicationDirectories = DesktopEntryIndex::defaultApplicationDirectories(),
        QString searchPath = qEnvironmentVariable("PATH"));

    const QString& procRoot() const { return m_procRoot; }

    std::optional<QString> identify(pid_t pid);

    // Reloads the desktop entries when one of the application folders changed since the last load.
    void refreshIfChanged();
    // Grows with every load of the desktop entries.
    quint64 revision() const { return m_revision; }

    // The files an application's processes open when it starts: its program (for an interpreter,
    // the script) and its TryExec program, canonical, launchers left out. Nothing when no desktop
    // entry has the ID; an empty list when the entry only runs launchers.
    std::optional<QList<QString>> programsOf(const QString& id);

    // Whether a program only starts other programs, whatever the entry that runs it.
    static bool isLauncher(const QString& programPath);

    // The application ID of a systemd unit in a "/proc/PID/cgroup" text:
    // "app-[launcher-]ID[@...].service" or "app-[launcher-]ID-N.scope".
    static std::optional<QString> applicationIdFromCgroup(const QString& cgroup);

    // The start time, in clock ticks after boot, from the text of a "/proc/PID/stat" file.
    static std::optional<quint64> startTimeFromStat(const QByteArray& stat);
    // The parent's PID from the same text; 0 when it cannot be read.
    static pid_t parentFromStat(const QByteArray& stat);

    // The script an interpreter runs, from its NUL-separated "/proc/PID/cmdline"; nothing when it
    // runs none (a command given with -c, a module given with -m).
    static std::optional<QString> scriptFromCommandLine(const QByteArray& commandLine);

    // Whether a program runs scripts, so that the script names the application rather than it.
    static bool isInterpreter(const QString& programPath);

private:
    void reload();
    std::optional<QString> flatpakId(const QString& processDirectory) const;
    std::optional<QString> entryIdByProgram(const QString& processDirectory) const;
    std::optional<QString> launcherHintId(const QString& processDirectory, pid_t pid) const;

    QString m_procRoot;
    QList<QString> m_applicationDirectories;
    QString m_searchPath;
    bool m_loaded = false;
    DesktopEntryIndex m_index;
    // Canonical program or script path -> the one desktop-entry ID that runs it.
    QHash<QString, QString> m_idsByProgram;
    QHash<QString, QList<QString>> m_programsById;
    quint64 m_revision = 0;
};

} // namespace tarnwell
