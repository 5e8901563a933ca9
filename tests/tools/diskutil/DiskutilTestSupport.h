#pragma once

#include "diskutil/CommandRunning.h"
#include "diskutil/FilesystemIdentity.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QPair>

namespace tarnwell::testing {

QByteArray diskutilFixture(const QString& name);

// Reads the ID_FS_* lines of `blkid -p -o udev`; the label comes from its \xNN-encoded form,
// which keeps spaces and markup that the plain form replaces.
FilesystemIdentity identityFromBlkidUdev(const QByteArray& output);

// Answers probes from a table of device paths and remembers which devices were read.
class FixtureProbe : public FilesystemProbing {
public:
    QHash<QString, FilesystemIdentity> identities;
    QStringList probed;
    QMutex mutex;

    FilesystemIdentity probe(const QString& devicePath) override;
};

// Prints a fixed lsblk document and answers every other program with the next scripted result
// (success with no output when none is left), recording each call.
class ScriptedCommands : public CommandRunning {
public:
    QByteArray lsblkOutput;
    int lsblkExitCode = 0;
    QList<CommandResult> results;
    QList<QPair<QString, QStringList>> calls;

    CommandResult run(const QString& program, const QStringList& arguments) override;
    QList<QPair<QString, QStringList>> callsOtherThanLsblk() const;
};

} // namespace tarnwell::testing
