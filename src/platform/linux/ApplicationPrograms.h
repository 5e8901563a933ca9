#pragma once

#include "platform/linux/DesktopEntryIndex.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <optional>

namespace tarnwell {

// What each installed application runs, read from its desktop entry, and which application each
// program, name and folder therefore stands for.
//
// An entry's program is what its Exec line finally runs: launchers and wrappers are looked through
// (a listed launcher, or any program whose arguments name another program), an interpreter stands
// for its script, and a program that a symbolic link with another name reaches is a launcher that
// dispatches on the name it was started by, so only that name stands for the entry. A program,
// name or folder that several entries claim stands for none of them.
class ApplicationPrograms {
public:
    ApplicationPrograms() = default;
    ApplicationPrograms(const DesktopEntryIndex& index, const QString& searchPath);

    // The one entry whose program is this canonical path.
    std::optional<QString> idByProgram(const QString& program) const;
    // The one entry started by this name (a path as started, not resolved) of a dispatching launcher.
    std::optional<QString> idByInvocation(const QString& invocation) const;
    // Whether the canonical program is a launcher that dispatches on the name it was started by.
    bool isDispatcher(const QString& program) const { return m_dispatchers.contains(program); }
    // The one entry whose install folder holds this canonical program.
    std::optional<QString> idByFolder(const QString& program) const;

    // Whether the entry starts its application in a Flatpak sandbox.
    bool isSandboxed(const QString& id) const { return m_sandboxedIds.contains(id); }

    // Whether an instance of the entry runs this canonical program: its own program or one below its
    // install folder.
    bool claims(const QString& id, const QString& program) const;

    // The files an application's processes open when it starts, canonical, launchers left out;
    // nothing when no entry has the ID, an empty list when the entry only runs launchers.
    std::optional<QList<QString>> programsOf(const QString& id) const;

    // Whether a program only starts other programs, whatever the entry that runs it.
    static bool isLauncher(const QString& programPath);
    // Whether a program runs scripts, so that the script names the application rather than it.
    static bool isInterpreter(const QString& programPath);
    // The script an interpreter runs, given its arguments with the interpreter first; nothing when it
    // runs none (a command given with -c, a module given with -m).
    static std::optional<QString> scriptArgument(const QList<QString>& arguments);
    // Whether a folder is a place many programs share (a PATH folder, or one above it, or the user's
    // home), so it is no application's own.
    static bool isSharedFolder(const QString& folder, const QString& searchPath);
    // The folder a program was installed in with the rest of its application: the one above its
    // "bin" folder, the folder of a wrapper script, or its own folder directly under /opt; nothing
    // for a folder many programs share.
    static std::optional<QString> installFolder(const QString& program, const QString& searchPath);
    // Whether a path lies below a folder.
    static bool isBelow(const QString& path, const QString& folder);

private:
    QHash<QString, QString> m_idsByProgram;
    QHash<QString, QString> m_idsByInvocation;
    QHash<QString, QString> m_idsByFolder;
    QHash<QString, QList<QString>> m_programsById;
    QHash<QString, QString> m_folderById;
    QSet<QString> m_dispatchers;
    QSet<QString> m_sandboxedIds;
};

} // namespace tarnwell
