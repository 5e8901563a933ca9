#include "app/CommandLine.h"

#include "app/TarnwellBusService.h"
#include "core/automation/TarnwellController.h"
#include "core/disk/DiskService.h"
#include "core/disk/LocalVolumeTargetService.h"
#include "core/disk/StorageTargetService.h"
#include "core/model/RuleService.h"
#include "core/model/TarnwellError.h"
#include "core/support/Localization.h"
#include "platform/SettingsPreferencesStore.h"
#include "platform/linux/SingleInstanceService.h"

#include <QCommandLineParser>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QElapsedTimer>
#include <QThread>
#include <array>
#include <cstdio>

namespace tarnwell {

namespace {

// Mounting waits for the disk tool, which has time-outs of its own; this only keeps a lost answer
// from hanging a script forever.
constexpr int actionTimeoutMilliseconds = 10 * 60 * 1000;
// An instance takes its name on the bus a moment before its interface is there.
constexpr qint64 startingGraceMilliseconds = 5000;

struct CommandOption {
    CommandLine::Command command;
    const char* name;
    const char* description;
    const char* method;
};

const std::array<CommandOption, 5> commandOptions{{
    {CommandLine::Command::Status, "status",
     "Print the status and each rule's state, then exit; non-zero when a rule failed.", "GetStatus"},
    {CommandLine::Command::MountMissing, "mount-missing",
     "Ask the running Tarnwell to mount every rule's missing drive.", "MountMissing"},
    {CommandLine::Command::UnmountReady, "unmount-ready",
     "Ask the running Tarnwell to safely unmount every mounted or ready drive.", "UnmountReady"},
    {CommandLine::Command::Open, "open", "Ask the running Tarnwell to show its window.", "Open"},
    {CommandLine::Command::Quit, "quit", "Ask the running Tarnwell to quit.", "Quit"},
}};

// A status read posts nothing and keeps no activity log: its answer is what it prints.
class Silent : public TarnwellNotifying, public TarnwellLogging {
public:
    QCoro::Task<> notify(QString, QString, bool) override { co_return; }
    void record(const QString&) override {}
};

bool isRunning(const QDBusConnection& session) {
    return session.isConnected() && session.interface() &&
           session.interface()->isServiceRegistered(QString::fromLatin1(SingleInstanceService::serviceName));
}

QDBusMessage call(const QDBusConnection& session, const char* method, int timeout) {
    const QDBusMessage request = QDBusMessage::createMethodCall(
        QString::fromLatin1(SingleInstanceService::serviceName),
        QString::fromLatin1(SingleInstanceService::objectPath),
        QString::fromLatin1(TarnwellBusService::interfaceName), QString::fromLatin1(method));
    QElapsedTimer since;
    since.start();
    for (;;) {
        const QDBusMessage reply = session.call(request, QDBus::Block, timeout);
        const QDBusError::ErrorType error = QDBusError(reply).type();
        const bool starting = error == QDBusError::UnknownObject || error == QDBusError::UnknownInterface ||
                              error == QDBusError::UnknownMethod;
        if (!starting || since.elapsed() > startingGraceMilliseconds) {
            return reply;
        }
        QThread::msleep(20);
    }
}

std::optional<StatusReport> statusFrom(const QDBusMessage& reply) {
    const QList<QVariant> arguments = reply.arguments();
    if (reply.type() != QDBusMessage::ReplyMessage || arguments.size() != 3) {
        return std::nullopt;
    }
    return StatusReport{arguments.at(0).toString(),
                        StatusReport::rulesFromBus(qdbus_cast<QList<QVariantMap>>(arguments.at(2)))};
}

int printStatus(const StatusReport& report, QTextStream& out) {
    out << report.text();
    out.flush();
    return report.failed() ? CommandLine::ruleFailedExitCode : 0;
}

} // namespace

CommandLine CommandLine::parse(const QCoreApplication& application) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        localized("Mounts media drives for editing apps and releases them safely.") + u'\n' +
        localized("Without a command, starts Tarnwell, or shows the window of the one already running."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption background(QStringLiteral("background"),
                                        localized("Start in the tray without opening the window."));
    parser.addOption(background);
    for (const CommandOption& option : commandOptions) {
        parser.addOption(QCommandLineOption(QString::fromLatin1(option.name), localized(option.description)));
    }
    parser.process(application);

    CommandLine result;
    result.m_background = parser.isSet(background);
    QStringList given;
    for (const CommandOption& option : commandOptions) {
        if (parser.isSet(QString::fromLatin1(option.name))) {
            given.append(QStringLiteral("--") + QString::fromLatin1(option.name));
            result.m_command = option.command;
        }
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "%s\n",
                     qUtf8Printable(
                         localizedFormat("Unexpected argument: %@", {parser.positionalArguments().first()})));
        std::exit(1);
    }
    if (given.size() > 1 || (!given.isEmpty() && result.m_background)) {
        if (result.m_background) {
            given.append(QStringLiteral("--background"));
        }
        std::fprintf(
            stderr, "%s\n",
            qUtf8Printable(localizedFormat("Give only one of %@.", {given.join(QStringLiteral(", "))})));
        std::exit(1);
    }
    return result;
}

StatusReport CommandLine::readStatusWithoutInstance() {
    const auto presets =
        std::make_shared<AppPresetService>(QList<std::shared_ptr<const PresetDiscovering>>{});
    RuleService rules(std::make_shared<SettingsPreferencesStore>(), presets);
    const TarnwellConfiguration configuration = rules.loadConfiguration();
    const auto silent = std::make_shared<Silent>();
    TarnwellController controller(
        configuration,
        std::make_shared<StorageTargetService>(
            std::make_shared<LocalVolumeTargetService>(std::make_shared<DiskService>())),
        silent, silent, [] { return QSet<QString>{}; });
    // Status reads never throw; each failure is folded into a rule's state.
    QCoro::waitFor(controller.refreshDriveStatus());
    MenuBarViewModel menu(configuration, controller.targetStates());
    menu.update(std::nullopt, std::nullopt, controller.status());
    return StatusReport::of(menu);
}

int CommandLine::run(Command command, const QDBusConnection& session, QTextStream& out, QTextStream& err) {
    TarnwellBusService::registerTypes();
    const auto option =
        std::find_if(commandOptions.cbegin(), commandOptions.cend(),
                     [command](const CommandOption& candidate) { return candidate.command == command; });
    if (option == commandOptions.cend()) {
        return 0;
    }
    if (!isRunning(session)) {
        if (command != Command::Status) {
            err << localized("Tarnwell is not running, so there is nothing to ask. Start it first.") << '\n';
            return notRunningExitCode;
        }
        try {
            return printStatus(readStatusWithoutInstance(), out);
        } catch (const std::exception& error) {
            err << localizedFormat("Cannot read the configuration: %@", {userFacingMessage(error)}) << '\n';
            return ruleFailedExitCode;
        }
    }

    const QDBusMessage reply = call(session, option->method, actionTimeoutMilliseconds);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        err << localizedFormat("Tarnwell answered with an error: %@", {reply.errorMessage()}) << '\n';
        return ruleFailedExitCode;
    }
    if (command == Command::Open || command == Command::Quit) {
        return 0;
    }
    // After an action, what it left behind is its answer.
    const auto report = statusFrom(command == Command::Status ? reply : call(session, "GetStatus", -1));
    if (!report) {
        err << localized("Tarnwell did not say how it is.") << '\n';
        return ruleFailedExitCode;
    }
    return printStatus(*report, out);
}

} // namespace tarnwell
