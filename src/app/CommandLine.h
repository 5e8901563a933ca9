#pragma once

#include "app/StatusReport.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QTextStream>
#include <optional>

namespace tarnwell {

// Tarnwell's command line. It is read before any widget exists, so that the commands that only
// report or ask the running instance work without a display: over SSH, in a script, in a clean root.
class CommandLine {
public:
    enum class Command { Start, Status, MountMissing, UnmountReady, Open, Quit };

    // Exit codes of the commands besides 0 (all is well). Usage errors exit with 1, as Qt's parser does.
    static constexpr int ruleFailedExitCode = 1;
    static constexpr int notRunningExitCode = 2;

    // Reads the application's arguments; --help, --version and a wrong argument print and exit
    // the process here, the usual way.
    static CommandLine parse(const QCoreApplication& application);

    Command command() const { return m_command; }
    bool background() const { return m_background; }

    // Runs a command other than Start and returns the process's exit code.
    static int run(Command command, const QDBusConnection& session, QTextStream& out, QTextStream& err);

    // The status without a running instance: the stored configuration and each rule's drive, read
    // without starting the automation. Throws what reading the configuration threw.
    static StatusReport readStatusWithoutInstance();

private:
    Command m_command = Command::Start;
    bool m_background = false;
};

} // namespace tarnwell
