#pragma once

#include "core/support/PropertyList.h"
#include "diskutil/CommandRunning.h"
#include "diskutil/FilesystemIdentity.h"
#include "support/QtPrinters.h"

#include <QHash>
#include <QMutex>
#include <QTemporaryDir>
#include <memory>

namespace tarnwell::testing {

QByteArray diskutilFixture(const QString& name);

// Answers probes from a table of device paths and remembers which devices were read.
class FixtureProbe : public FilesystemProbing {
public:
    QHash<QString, FilesystemIdentity> identities;
    QStringList probed;
    QMutex mutex;

    FilesystemIdentity probe(const QString& devicePath) override;
};

// Prints a fixed lsblk document and answers every other program with the next scripted result
// (success with no output when none is left), recording each call other than lsblk's.
class ScriptedCommands : public CommandRunning {
public:
    QByteArray lsblkOutput;
    int lsblkExitCode = 0;
    QList<CommandResult> results;
    QList<QStringList> calls; // program first, then its arguments

    CommandResult run(const QString& program, const QStringList& arguments) override;
};

// Arguments travel as text; bytes that are no UTF-8 reach a program as this text given to
// `printf '%b'` in a shell of the test's own.
QString printfOctal(const QByteArray& bytes);

CommandResult runProgram(const QString& program, const QStringList& arguments);
// Runs the built disk tool as a child process.
CommandResult diskutil(const QStringList& arguments);

// Mount points of the device "major:minor", read straight from the kernel's table.
QStringList mountPointsOf(const QString& majorMinor);

// Labels differ between runs so that tests running side by side never meet in /media/.
QString uniqueLabel(const QString& stem);

// An ext4 file-system image attached to a loop device. Whatever happens in the test, the
// destructor unmounts what is still mounted (plainly, never forced) and detaches the device.
class LoopVolume {
public:
    // `mkfs` is the command up to its label option; the label is given as bytes, so labels that
    // are no UTF-8 can be made. Null (with a recorded test failure) when any step fails.
    static std::unique_ptr<LoopVolume> create(const QTemporaryDir& directory, const QByteArray& label,
                                              const QString& mkfs = QStringLiteral("mkfs.ext4 -q -L"));
    ~LoopVolume();

    LoopVolume(const LoopVolume&) = delete;
    LoopVolume& operator=(const LoopVolume&) = delete;

    const QString& path() const { return m_path; }
    QString name() const;
    QStringList mountPoints() const { return mountPointsOf(m_majorMinor); }
    // The tool's `info -plist TARGET` document.
    PropertyList info(const QString& target) const;

private:
    LoopVolume() = default;

    QString m_path;
    QString m_majorMinor;
};

} // namespace tarnwell::testing
