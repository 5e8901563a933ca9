#include "ViewModelFixtures.h"
#include "app/TarnwellContainer.h"
#include "core/disk/DiskService.h"
#include "core/disk/ShellRunner.h"
#include "core/model/JsonCoding.h"
#include "core/model/RuleService.h"
#include "platform/linux/DesktopEntryCatalog.h"
#include "platform/linux/LogindSleepService.h"
#include "support/FakeDiskTool.h"
#include "support/InMemoryPreferencesStore.h"
#include "support/NoPresetDiscovery.h"
#include "support/QtPrinters.h"
#include "support/RecordingNotifier.h"
#include "support/ScriptedApplicationEventSource.h"
#include "support/ScriptedDiskService.h"
#include "support/ScriptedDriveChangeSource.h"
#include "support/ScriptedLoginItem.h"
#include "support/TaskRunner.h"

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace std::chrono_literals;

namespace {

// The log's lines without their timestamps.
QStringList messages(const LogService& log) {
    QStringList result;
    for (const QString& entry : log.entries()) {
        result.append(entry.mid(entry.indexOf(QStringLiteral("] ")) + 2));
    }
    return result;
}

// Stands in for systemd-logind on a system bus of the test's own: each delay lock it hands out is
// the write end of a pipe, so the test sees a lock released when its read end reports a hang-up.
class StandInLogind : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    ~StandInLogind() override {
        for (const int lock : locks) {
            ::close(lock);
        }
    }

    QStringList requests;
    QList<int> locks;

    int locksHeld() const {
        int held = 0;
        for (const int lock : locks) {
            pollfd watch{lock, POLLIN, 0};
            held += ::poll(&watch, 1, 0) == 0 ? 1 : 0;
        }
        return held;
    }

public Q_SLOTS:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode) {
        requests.append(QStringList{what, who, why, mode}.join(u'|'));
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            return {};
        }
        locks.append(ends[0]);
        const QDBusUnixFileDescriptor lock(ends[1]);
        ::close(ends[1]);
        return lock;
    }

Q_SIGNALS:
    void PrepareForSleep(bool start);
};

class TarnwellContainerTest : public ::testing::Test {
protected:
    // With a catalog, presets are discovered in it as they are in the application.
    std::unique_ptr<TarnwellContainer> makeContainer(std::shared_ptr<DiskServicing> diskService = nullptr,
                                                     std::shared_ptr<DesktopEntryCatalog> catalog = nullptr) {
        TarnwellContainer::Dependencies dependencies;
        dependencies.appPresetService = catalog ? nullptr : presets;
        dependencies.desktopEntries = catalog;
        dependencies.ruleService = ruleService;
        dependencies.diskService = diskService ? diskService : disks;
        dependencies.notificationService = notifications;
        dependencies.appMonitorService = std::make_shared<AppMonitorService>(events);
        dependencies.logger = log;
        dependencies.loginItemService = loginItem;
        dependencies.driveChanges = drives;
        dependencies.systemSleep = systemSleep;
        return std::make_unique<TarnwellContainer>(std::move(dependencies));
    }

    // One rule for the volume "Rushes", bound to the editor, with the built-in presets.
    void storeOneRule(bool launchAtLogin = false, bool mountOnAppLaunch = true) {
        const AppTrigger editor{QUuid::createUuid(), "Editor", {"org.example.Editor"}, true, false,
                                std::nullopt};
        auto rushes = localRule(QStringLiteral("Rushes"));
        rushes.appTriggerIDs = {editor.id};
        rushes.mountOnAppLaunch = mountOnAppLaunch;
        auto configuration = configurationWith({rushes}, AppPresetService::defaultPresets() + QList{editor});
        configuration.launchAtLogin = launchAtLogin;
        preferences->values.insert(RuleService::configurationKey, JsonCoding::encodeDocument(configuration));
    }

    std::shared_ptr<InMemoryPreferencesStore> preferences = std::make_shared<InMemoryPreferencesStore>();
    std::shared_ptr<AppPresetService> presets = presetsWithoutDiscovery();
    std::shared_ptr<RuleService> ruleService = std::make_shared<RuleService>(preferences, presets);
    std::shared_ptr<ScriptedDiskService> disks = [] {
        auto service = std::make_shared<ScriptedDiskService>();
        service->listAtOnce = QList<DriveInfo>{};
        return service;
    }();
    std::shared_ptr<RecordingNotifier> notifications = std::make_shared<RecordingNotifier>();
    std::shared_ptr<ScriptedApplicationEventSource> events =
        std::make_shared<ScriptedApplicationEventSource>();
    std::shared_ptr<LogService> log = std::make_shared<LogService>();
    std::shared_ptr<ScriptedLoginItem> loginItem = std::make_shared<ScriptedLoginItem>();
    std::shared_ptr<ScriptedDriveChangeSource> drives = std::make_shared<ScriptedDriveChangeSource>();
    std::shared_ptr<SystemSleepSource> systemSleep;
};

} // namespace

TEST_F(TarnwellContainerTest, AnUnreadableConfigurationFallsBackToDefaultsAndStaysStored) {
    const QByteArray corrupt = "{\"schemaVersion\": 2, \"storageRules\": [";
    preferences->values.insert(RuleService::configurationKey, corrupt);
    auto container = makeContainer();
    runTask(container->startupFinished());

    EXPECT_TRUE(container->configuration().storageRules.isEmpty());
    EXPECT_EQ(container->menuViewModel()->status(), TarnwellStatus::notConfigured());
    const QStringList lines = messages(*log);
    EXPECT_EQ(lines.filter(QStringLiteral("Failed to load drive rule: ")).size(), 1);
    EXPECT_TRUE(
        lines.first().startsWith(QStringLiteral("Failed to load drive rule: The data is not valid JSON")));
    EXPECT_EQ(preferences->values.value(RuleService::configurationKey), corrupt);
    EXPECT_EQ(preferences->writeCount, 0);
    EXPECT_EQ(notifications->authorizationRequests, 1);
}

TEST_F(TarnwellContainerTest, TheSystemsLoginItemStateWinsOverTheStoredFlag) {
    storeOneRule(true);
    auto container = makeContainer();
    EXPECT_FALSE(container->configuration().launchAtLogin);
    EXPECT_FALSE(container->rule().launchAtLogin);
    EXPECT_FALSE(container->settingsViewModel()->rule().launchAtLogin);
    runTask(container->startupFinished());

    // The system accepts the request but still reports the item as disabled.
    loginItem->ignoreRequests = true;
    runTask(container->setLaunchAtLogin(true));
    EXPECT_FALSE(container->configuration().launchAtLogin);
    EXPECT_FALSE(ruleService->loadConfiguration().launchAtLogin);

    loginItem->ignoreRequests = false;
    preferences->failWrites = true;
    runTask(container->setLaunchAtLogin(true));
    EXPECT_TRUE(container->configuration().launchAtLogin);
    EXPECT_TRUE(container->controller()->configuration().launchAtLogin);
    EXPECT_TRUE(
        messages(*log).contains(QStringLiteral("Launch-at-login system state is enabled, but failed to save "
                                               "drive configuration: The store refused the write.")));

    loginItem->refuse = true;
    runTask(container->setLaunchAtLogin(false));
    EXPECT_TRUE(container->configuration().launchAtLogin);
    EXPECT_EQ(messages(*log).last(),
              QStringLiteral("Failed to update launch at login: The session refused the login item."));

    // The settings window reloads the stored configuration, whose flag the refused writes left
    // off, and still shows the system's state.
    runTask(container->reloadRuleForSettings());
    EXPECT_TRUE(container->configuration().launchAtLogin);
    EXPECT_TRUE(container->settingsViewModel()->rule().launchAtLogin);
}

TEST_F(TarnwellContainerTest, EventsReachTheControllerFromTheEventLoopAfterTheirLogLine) {
    storeOneRule();
    auto container = makeContainer();
    // Start-up waits for the event loop, even though the permission answers at once.
    EXPECT_EQ(notifications->authorizationRequests, 0);
    runTask(container->startupFinished());
    const qsizetype before = log->entries().size();

    events->launch(QStringLiteral("org.example.Unbound"));
    events->launch(std::nullopt);
    EXPECT_EQ(messages(*log).mid(before), QStringList{"Observed app launch: org.example.Unbound"});
    ASSERT_TRUE(runUntil([&] { return log->entries().size() == before + 2; }));

    // A handler that fails is logged, not lost.
    events->failListing = true;
    events->terminate(QStringLiteral("org.example.Editor"));
    ASSERT_TRUE(runUntil([&] { return log->entries().size() == before + 4; }));
    EXPECT_EQ(messages(*log).mid(before),
              (QStringList{"Observed app launch: org.example.Unbound",
                           "Ignored launch for unconfigured app: org.example.Unbound",
                           "Observed app termination: org.example.Editor",
                           "Termination handling failed: /proc is not readable"}));
    // The monitor's own lines, such as a fallback it took, go to the log as they are.
    Q_EMIT events->noticed(QStringLiteral("Launches are checked every 250 ms."));
    EXPECT_EQ(messages(*log).last(), QStringLiteral("Launches are checked every 250 ms."));
}

// A bound application already runs and its rule does not mount on launch: start-up mounts nothing,
// yet the volume's state is read all the same.
// The start-up and every change of the drives read the drives: the rules' targets and the volumes
// the pages offer, and the dashboard learns when.
TEST_F(TarnwellContainerTest, TheStartUpAndEveryDriveChangeReadTheDrives) {
    storeOneRule(false, false);
    events->running = {RunningApplication{QStringLiteral("org.example.Editor")}};
    auto container = makeContainer();
    EXPECT_TRUE(drives->started);
    runTask(container->startupFinished());
    ASSERT_EQ(container->menuViewModel()->targetStates().size(), 1);
    EXPECT_EQ(
        StorageTargetRuntimeStatus::name(container->menuViewModel()->targetStates().first().status.kind()),
        QStringLiteral("targetNotFound"));
    EXPECT_EQ(disks->listings.size(), 1);
    const QDateTime checked = container->dashboardViewModel()->statusCheckedAt();
    ASSERT_TRUE(checked.isValid());

    disks->listAtOnce = QList<DriveInfo>{DriveInfo{}};
    const qsizetype before = log->entries().size();
    drives->change();
    drives->change();
    ASSERT_TRUE(runUntil([&] { return !container->volumesViewModel()->volumes().isEmpty(); }));
    ASSERT_TRUE(runUntil([&] { return messages(*log).mid(before).size() >= 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(disks->listings.size(), 3);
    EXPECT_EQ(messages(*log).mid(before), (QStringList{"Drive status for Rushes: drive not found.",
                                                       "Drive status for Rushes: drive not found."}));
    EXPECT_GE(container->dashboardViewModel()->statusCheckedAt(), checked);
}

TEST_F(TarnwellContainerTest, DestroyingTheContainerStopsTheStartUpSequence) {
    notifications->holdAuthorization = true;
    auto container = makeContainer();
    ASSERT_TRUE(runUntil([&] { return notifications->authorizationRequests == 1; }));
    container.reset();
    notifications->releaseAuthorization();
    QCoreApplication::processEvents();
    EXPECT_FALSE(messages(*log).contains(QStringLiteral("Drive configuration updated.")));

    // A launch reported after the container is gone reaches nobody.
    events->launch(QStringLiteral("org.example.Late"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(log->entries().isEmpty());
}

TEST_F(TarnwellContainerTest, ARuleEditedOnTheRulesPageReachesEveryViewModel) {
    storeOneRule();
    auto container = makeContainer();
    runTask(container->startupFinished());
    const QUuid ruleID = container->configuration().storageRules.first().id;
    const QPointer<SettingsViewModel> settings = container->settingsViewModel();

    runTask(container->rulesViewModel()->setUnmountDelaySeconds(45, ruleID));
    EXPECT_EQ(container->rule().unmountDelaySeconds, 45);
    EXPECT_EQ(container->menuViewModel()->configuration(), container->configuration());
    EXPECT_EQ(container->dashboardViewModel()->configuration(), container->configuration());
    EXPECT_EQ(container->volumesViewModel()->configuration(), container->configuration());
    EXPECT_EQ(settings, container->settingsViewModel());
    EXPECT_EQ(container->settingsViewModel()->rule().unmountDelaySeconds, 45);
    EXPECT_EQ(container->controller()->configuration(), container->configuration());

    // A settings edit merges into the first rule and reaches the controller the same way.
    runTask(container->settingsViewModel()->setPostQuitAction(PostQuitAction::Off));
    EXPECT_EQ(container->controller()->configuration().storageRules.first().postQuitAction,
              PostQuitAction::Off);
    EXPECT_EQ(container->rulesViewModel()->configuration(), container->configuration());
    // An edit the store refuses is logged and changes nothing.
    preferences->failWrites = true;
    runTask(container->settingsViewModel()->setPostQuitAction(PostQuitAction::AutoUnmount));
    EXPECT_EQ(messages(*log).last(),
              QStringLiteral("Failed to save drive rule: The store refused the write."));
    EXPECT_EQ(container->configuration().storageRules.first().postQuitAction, PostQuitAction::Off);
    preferences->failWrites = false;

    // Reloading for the settings window starts from a fresh view model; a failed reload keeps the rule.
    runTask(container->reloadRuleForSettings());
    EXPECT_NE(container->settingsViewModel(), settings.data());
    preferences->values.insert(RuleService::configurationKey, "garbage");
    runTask(container->reloadRuleForSettings());
    EXPECT_EQ(container->settingsViewModel()->rule(), container->rule());
    EXPECT_TRUE(
        messages(*log).last().startsWith(QStringLiteral("Failed to reload drive rule for settings: ")));

    // The applications watched closely follow the rules: a disabled rule's are not watched.
    EXPECT_EQ(events->watched, QSet<QString>{QStringLiteral("org.example.Editor")});
    runTask(container->rulesViewModel()->setRuleEnabled(ruleID, false));
    EXPECT_TRUE(events->watched.isEmpty());
}

TEST_F(TarnwellContainerTest, QuittingEndsAHangingDiskCommandWithinASecond) {
    FakeDiskTool tool(QJsonObject{
        {"failures",
         QJsonArray{QJsonObject{{"command", "info"}, {"ignoreTermination", true}, {"sleepSeconds", 30}}}}});
    storeOneRule();
    // The capture files go to the runtime folder when there is a usable one, else to the temporary
    // folder; both are this test's own.
    QTemporaryDir temporary;
    QTemporaryDir runtime;
    const QByteArray previousTemporary = qgetenv("TMPDIR");
    const QByteArray previousRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(temporary.path()));
    for (const bool withRuntime : {true, false}) {
        SCOPED_TRACE(withRuntime ? "with a runtime folder" : "without a runtime folder");
        withRuntime ? qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()))
                    : qunsetenv("XDG_RUNTIME_DIR");
        const QDir captures(withRuntime ? runtime.path() : temporary.path());
        const auto diskService = std::make_shared<DiskService>(FakeDiskTool::executablePath());
        const qsizetype invocations = tool.invocations().size();
        auto container = makeContainer(diskService);
        // The start-up refresh asks the tool about the rule's volume, and the tool hangs while its
        // output is captured.
        ASSERT_TRUE(runUntil([&] {
            return diskService->hasCommandsInFlight() && tool.invocations().size() > invocations &&
                   !captures.isEmpty();
        }));

        QElapsedTimer quitting;
        quitting.start();
        container.reset();
        EXPECT_LT(quitting.elapsed(), 1000);
        EXPECT_FALSE(diskService->hasCommandsInFlight());
        EXPECT_TRUE(QDir(temporary.path()).isEmpty() && QDir(runtime.path()).isEmpty());
    }
    previousTemporary.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", previousTemporary);
    previousRuntime.isNull() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", previousRuntime);
}

// Quitting the editor leaves two auto-unmounts waiting a minute, and the sleep is held back for them.
// When logind announces the sleep they run at once through the disk tool: the idle drive is
// unmounted, the busy one stays mounted with its holder in the log, and the lock is let go. After
// the resume nothing is mounted again, even when the drives are read anew.
TEST_F(TarnwellContainerTest, PendingAutoUnmountsRunSafelyBeforeTheSystemSleeps) {
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"),
              {QStringLiteral("--config-file=" TARNWELL_TEST_BUS_CONFIGURATION), QStringLiteral("--nofork"),
               QStringLiteral("--print-address")});
    ASSERT_TRUE(bus.waitForStarted());
    ASSERT_TRUE(runUntil([&] { return bus.canReadLine(); }));
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    QDBusConnection logindSide = QDBusConnection::connectToBus(address, QStringLiteral("logind"));
    QDBusConnection tarnwellSide = QDBusConnection::connectToBus(address, QStringLiteral("tarnwell"));
    StandInLogind logind;
    ASSERT_TRUE(
        logindSide.registerObject(QStringLiteral("/org/freedesktop/login1"), &logind,
                                  QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
    ASSERT_TRUE(logindSide.registerService(QStringLiteral("org.freedesktop.login1")));

    FakeDiskTool tool(QJsonDocument::fromJson(R"json({"disks": [
        {"deviceIdentifier": "disk4s1", "volumeName": "Rushes", "volumeUUID": "UUID-Rushes",
         "mountPoint": "/Volumes/Rushes"},
        {"deviceIdentifier": "disk5s1", "volumeName": "Archive", "volumeUUID": "UUID-Archive",
         "mountPoint": "/Volumes/Archive", "busy": true, "busyProcess": "4242 (resolve)"}]})json")
                          .object());
    const AppTrigger editor{QUuid::createUuid(), "Editor", {"org.example.Editor"}, true, false, std::nullopt};
    QList<StorageTargetRule> rules;
    for (const char* name : {"Rushes", "Archive"}) {
        auto rule = localRule(QString::fromLatin1(name));
        rule.appTriggerIDs = {editor.id};
        rule.postQuitAction = PostQuitAction::AutoUnmount;
        rule.unmountDelaySeconds = 60;
        rules.append(rule);
    }
    preferences->values.insert(RuleService::configurationKey,
                               JsonCoding::encodeDocument(configurationWith(rules, {editor})));
    systemSleep = std::make_shared<LogindSleepService>(tarnwellSide);
    auto container = makeContainer(
        std::make_shared<DiskService>(FakeDiskTool::executablePath(), std::make_shared<ShellRunner>(),
                                      tool.mountedVolumeLocationsFunction(), QStringList{"/Volumes/"}));
    runTask(container->startupFinished(), 20s);
    events->launch(QStringLiteral("org.example.Editor"));
    ASSERT_TRUE(runUntil([&] { return !container->controller()->runningBundleIdentifiers().isEmpty(); }));
    EXPECT_TRUE(logind.requests.isEmpty());
    events->terminate(QStringLiteral("org.example.Editor"));
    ASSERT_TRUE(runUntil([&] { return logind.locksHeld() == 1; }));
    EXPECT_EQ(logind.requests, QStringList{"sleep|Tarnwell|Unmounting drives whose editors have quit|delay"});

    Q_EMIT logind.PrepareForSleep(true);
    ASSERT_TRUE(runUntil([&] { return logind.locksHeld() == 0; }, 20s));
    const QStringList lines = messages(*log);
    EXPECT_TRUE(lines.contains("The system is going to sleep; pending auto-unmounts run now."));
    EXPECT_TRUE(lines.contains("Auto-unmount unmounted Rushes."));
    EXPECT_EQ(lines.filter("Auto-unmount failed to unmount Archive: ").filter("4242 (resolve)").size(), 1)
        << lines.join(u'\n').toStdString();

    Q_EMIT logind.PrepareForSleep(false);
    Q_EMIT drives->changed();
    runUntil([] { return false; }, 300ms);
    EXPECT_EQ(container->controller()->state(rules.first().id)->status,
              StorageTargetRuntimeStatus::notMounted());
    const auto invocations = tool.invocations();
    EXPECT_TRUE(std::none_of(invocations.cbegin(), invocations.cend(),
                             [](const QStringList& arguments) { return arguments.value(0) == "mount"; }));
    EXPECT_EQ(logind.requests.size(), 1);
    container.reset();
    bus.kill();
    bus.waitForFinished();
}

#include "TarnwellContainerTests.moc"
// An editor installed while Tarnwell runs is followed at once: the preset gains its identifier, the
// monitor watches it, its launch reaches the bound rule, and the panel counts it as enabled.
TEST_F(TarnwellContainerTest, AnEditorInstalledWhileRunningIsBoundWithoutAReload) {
    QTemporaryDir folder;
    const QList<AppTrigger> triggers = AppPresetService::defaultPresets();
    const auto kdenlive = std::find_if(triggers.begin(), triggers.end(),
                                       [](const AppTrigger& t) { return t.displayName == "Kdenlive"; });
    ASSERT_NE(kdenlive, triggers.end());
    auto rushes = localRule(QStringLiteral("Rushes"));
    rushes.appTriggerIDs = {kdenlive->id};
    preferences->values.insert(RuleService::configurationKey,
                               JsonCoding::encodeDocument(configurationWith({rushes}, triggers)));
    auto container = makeContainer(nullptr, std::make_shared<DesktopEntryCatalog>(
                                                QList<QString>{folder.path()}, qEnvironmentVariable("PATH")));
    runTask(container->startupFinished());
    EXPECT_EQ(container->menuViewModel()->enabledAppSummary(), QStringLiteral("No apps enabled"));

    QFile entry(folder.filePath("kdenlive_kdenlive.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly) &&
                entry.write("[Desktop Entry]\nName=Video\nExec=true\n") > 0);
    entry.close();
    const QString snap = QStringLiteral("kdenlive_kdenlive");
    ASSERT_TRUE(runUntil([&] { return events->watched.contains(snap); }));
    EXPECT_TRUE(container->installedPresetIdentifiers().contains(snap));
    EXPECT_EQ(container->menuViewModel()->enabledAppSummary(), QStringLiteral("1 app enabled"));
    events->launch(snap);
    EXPECT_TRUE(runUntil([&] { return container->controller()->runningBundleIdentifiers().contains(snap); }));
}
