#include "RecordingNotificationService.h"
#include "ScriptedLoginItem.h"
#include "app/TarnwellContainer.h"
#include "core/disk/DiskService.h"
#include "core/disk/ShellRunner.h"
#include "core/model/JsonCoding.h"
#include "core/model/RuleService.h"
#include "support/FakeDiskTool.h"
#include "support/InMemoryPreferencesStore.h"
#include "support/NoPresetDiscovery.h"
#include "support/QtPrinters.h"
#include "support/ScriptedApplicationEventSource.h"
#include "support/TaskRunner.h"

#include <QJsonArray>
#include <gtest/gtest.h>

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace std::chrono_literals;

namespace {

const QString editorID = QStringLiteral("org.example.Editor");
const QString volumeUUID = QStringLiteral("5A0E61A4-0C1B-4B59-8A4F-6E0C1D2F3A4B");

// One external USB disk whose only volume starts unmounted.
QJsonObject machine() {
    return QJsonDocument::fromJson(QStringLiteral(R"({
      "disks": [{"deviceIdentifier": "disk8", "internal": false, "busProtocol": "USB",
                 "content": "GUID_partition_scheme",
                 "partitions": [{"deviceIdentifier": "disk8s1", "content": "Microsoft Basic Data",
                                 "volumeName": "Rushes", "volumeUUID": "%1", "filesystemName": "ExFAT",
                                 "mountPoint": "", "mountPath": "/Volumes/Rushes"}]}]
    })")
                                       .arg(volumeUUID)
                                       .toUtf8())
        .object();
}

// Everything real but the application events, the notification server and the login item: the
// disk service runs the fake disk tool as a child process for every query, mount and unmount.
class HeadlessEndToEndTest : public ::testing::Test {
protected:
    HeadlessEndToEndTest() {
        AppTrigger editor{QUuid::createUuid(), QStringLiteral("Editor"), {editorID}, true, false,
                          std::nullopt};
        StorageTargetRule rule;
        rule.id = QUuid::createUuid();
        rule.name = QStringLiteral("Rushes");
        rule.target = LocalVolumeTarget{
            QStringLiteral("Rushes"), volumeUUID, QStringLiteral("disk8s1"), {}, {}, {}, true};
        rule.appTriggerIDs = {editor.id};
        rule.postQuitAction = PostQuitAction::Remind;
        TarnwellConfiguration configuration = TarnwellConfiguration::defaultConfiguration({editor});
        configuration.storageRules = {rule};
        preferences->values.insert(RuleService::configurationKey, JsonCoding::encodeDocument(configuration));

        TarnwellContainer::Dependencies dependencies;
        dependencies.appPresetService = presetsWithoutDiscovery();
        dependencies.ruleService = std::make_shared<RuleService>(preferences, dependencies.appPresetService);
        dependencies.diskService = std::make_shared<DiskService>(
            FakeDiskTool::executablePath(), std::make_shared<ShellRunner>(),
            tool.mountedVolumeLocationsFunction(), QStringList{QStringLiteral("/Volumes/")});
        dependencies.notificationService = notifications;
        dependencies.appMonitorService = std::make_shared<AppMonitorService>(events);
        dependencies.logger = log;
        dependencies.loginItemService = std::make_shared<ScriptedLoginItem>();
        container = std::make_unique<TarnwellContainer>(std::move(dependencies));
        runTask(container->startupFinished(), 20s);
        ruleID = container->configuration().storageRules.first().id;
    }

    StorageTargetRuntimeStatus ruleStatus() const {
        return container->controller()->targetStates().first().status;
    }

    QString mountPoint() const {
        const QJsonObject partition = tool.state()[QStringLiteral("disks")]
                                          .toArray()[0]
                                          .toObject()[QStringLiteral("partitions")]
                                          .toArray()[0]
                                          .toObject();
        return partition[QStringLiteral("mountPoint")].toString();
    }

    bool waitForStatus(StorageTargetRuntimeStatus::Kind kind) {
        return runUntil([&] { return ruleStatus().kind() == kind; }, 20s);
    }

    void launchEditor() {
        events->running = {RunningApplication{editorID}};
        events->launch(editorID);
    }

    void quitEditor() {
        events->running.clear();
        events->terminate(editorID);
    }

    FakeDiskTool tool{machine()};
    std::shared_ptr<InMemoryPreferencesStore> preferences = std::make_shared<InMemoryPreferencesStore>();
    std::shared_ptr<RecordingNotificationService> notifications =
        std::make_shared<RecordingNotificationService>();
    std::shared_ptr<ScriptedApplicationEventSource> events =
        std::make_shared<ScriptedApplicationEventSource>();
    std::shared_ptr<LogService> log = std::make_shared<LogService>();
    std::unique_ptr<TarnwellContainer> container;
    QUuid ruleID;
};

} // namespace

TEST_F(HeadlessEndToEndTest, ALaunchMountsAndAQuitRemindsOrUnmountsAfterTheDelay) {
    EXPECT_EQ(ruleStatus(), StorageTargetRuntimeStatus::notMounted());

    launchEditor();
    ASSERT_TRUE(waitForStatus(StorageTargetRuntimeStatus::Kind::Mounted));
    EXPECT_EQ(mountPoint(), QStringLiteral("/Volumes/Rushes"));
    EXPECT_EQ(notifications->postedTitles(), QStringList{QStringLiteral("Drive Mounted")});
    EXPECT_EQ(container->menuViewModel()->statusTitle(), QStringLiteral("Mounted"));

    quitEditor();
    ASSERT_TRUE(waitForStatus(StorageTargetRuntimeStatus::Kind::ReadyToUnmount));
    EXPECT_EQ(notifications->postedTitles().last(), QStringLiteral("Drive Ready to Unmount"));
    EXPECT_EQ(mountPoint(), QStringLiteral("/Volumes/Rushes"));
    EXPECT_EQ(container->dashboardViewModel()->safetySummary(), QStringLiteral("1 ready to unmount"));

    // Switching the rule to a one-second auto-unmount through the rules page reaches the controller.
    runTask(container->rulesViewModel()->setPostQuitAction(PostQuitAction::AutoUnmount, ruleID), 20s);
    runTask(container->rulesViewModel()->setUnmountDelaySeconds(1, ruleID), 20s);
    launchEditor();
    ASSERT_TRUE(waitForStatus(StorageTargetRuntimeStatus::Kind::Mounted));
    quitEditor();
    ASSERT_TRUE(waitForStatus(StorageTargetRuntimeStatus::Kind::NotMounted));
    EXPECT_EQ(mountPoint(), QString());
    EXPECT_EQ(notifications->postedTitles().last(), QStringLiteral("Drive Unmounted"));
    EXPECT_TRUE(container->dashboardViewModel()
                    ->logEntries()
                    .filter(QStringLiteral("Observed app termination: "))
                    .size() >= 2);
}

TEST_F(HeadlessEndToEndTest, ABusyVolumeStaysMountedAndTheFailureIsShown) {
    runTask(container->rulesViewModel()->setPostQuitAction(PostQuitAction::AutoUnmount, ruleID), 20s);
    runTask(container->rulesViewModel()->setUnmountDelaySeconds(1, ruleID), 20s);
    launchEditor();
    ASSERT_TRUE(waitForStatus(StorageTargetRuntimeStatus::Kind::Mounted));

    QJsonObject state = tool.state();
    QJsonArray disks = state[QStringLiteral("disks")].toArray();
    QJsonObject disk = disks[0].toObject();
    QJsonArray partitions = disk[QStringLiteral("partitions")].toArray();
    QJsonObject partition = partitions[0].toObject();
    partition[QStringLiteral("busy")] = true;
    partition[QStringLiteral("busyProcess")] = QStringLiteral("4242 (render)");
    partitions[0] = partition;
    disk[QStringLiteral("partitions")] = partitions;
    disks[0] = disk;
    state[QStringLiteral("disks")] = disks;
    tool.setState(state);

    quitEditor();
    ASSERT_TRUE(waitForStatus(StorageTargetRuntimeStatus::Kind::UnmountFailed));
    EXPECT_EQ(mountPoint(), QStringLiteral("/Volumes/Rushes"));
    EXPECT_EQ(notifications->postedTitles().last(), QStringLiteral("Unmount Failed"));
    EXPECT_TRUE(ruleStatus().message().contains(QStringLiteral("4242")));
    EXPECT_EQ(container->menuViewModel()->statusTitle(), QStringLiteral("Unmount Failed"));
    for (const QStringList& invocation : tool.invocations()) {
        EXPECT_FALSE(invocation.contains(QStringLiteral("force")));
    }
}
