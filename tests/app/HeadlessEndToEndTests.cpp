#include "app/TarnwellContainer.h"
#include "core/disk/DiskService.h"
#include "core/model/JsonCoding.h"
#include "core/model/RuleService.h"
#include "support/FakeDiskTool.h"
#include "support/InMemoryPreferencesStore.h"
#include "support/NoPresetDiscovery.h"
#include "support/QtPrinters.h"
#include "support/RecordingNotifier.h"
#include "support/ScriptedApplicationEventSource.h"
#include "support/ScriptedLoginItem.h"
#include "support/TaskRunner.h"

#include <QJsonArray>
#include <gtest/gtest.h>

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace std::chrono_literals;
using Kind = StorageTargetRuntimeStatus::Kind;

namespace {

const QString editorID = QStringLiteral("org.example.Editor");

// One external USB disk whose only volume starts unmounted; the partition's extra keys are merged in.
QJsonObject machine(const QJsonObject& partitionExtras = {}) {
    QJsonObject partition{{"deviceIdentifier", "disk8s1"},
                          {"volumeName", "Rushes"},
                          {"volumeUUID", "5A0E61A4-0C1B-4B59-8A4F-6E0C1D2F3A4B"},
                          {"filesystemName", "ExFAT"},
                          {"mountPoint", ""},
                          {"mountPath", "/Volumes/Rushes"}};
    for (auto extra = partitionExtras.begin(); extra != partitionExtras.end(); ++extra) {
        partition.insert(extra.key(), extra.value());
    }
    return QJsonObject{{"disks", QJsonArray{QJsonObject{{"deviceIdentifier", "disk8"},
                                                        {"internal", false},
                                                        {"busProtocol", "USB"},
                                                        {"partitions", QJsonArray{partition}}}}}};
}

// Everything real but the application events, the notification server and the login item: the
// disk service runs the fake disk tool as a child process for every query, mount and unmount.
class HeadlessEndToEndTest : public ::testing::Test {
protected:
    HeadlessEndToEndTest() {
        const AppTrigger editor{QUuid::createUuid(), QStringLiteral("Editor"), {editorID}, true, false,
                                std::nullopt};
        StorageTargetRule rule;
        rule.id = QUuid::createUuid();
        rule.name = QStringLiteral("Rushes");
        rule.target =
            LocalVolumeTarget{"Rushes", "5A0E61A4-0C1B-4B59-8A4F-6E0C1D2F3A4B", "disk8s1", {}, {}, {}, true};
        rule.appTriggerIDs = {editor.id};
        rule.postQuitAction = PostQuitAction::AutoUnmount;
        rule.unmountDelaySeconds = 1;
        TarnwellConfiguration configuration = TarnwellConfiguration::defaultConfiguration({editor});
        configuration.storageRules = {rule};
        preferences->values.insert(RuleService::configurationKey, JsonCoding::encodeDocument(configuration));

        TarnwellContainer::Dependencies dependencies;
        dependencies.appPresetService = presetsWithoutDiscovery();
        dependencies.ruleService = std::make_shared<RuleService>(preferences, dependencies.appPresetService);
        dependencies.diskService = diskService;
        dependencies.notificationService = notifications;
        dependencies.appMonitorService = std::make_shared<AppMonitorService>(events);
        dependencies.loginItemService = std::make_shared<ScriptedLoginItem>();
        container = std::make_unique<TarnwellContainer>(std::move(dependencies));
        runTask(container->startupFinished(), 20s);
    }

    bool runEditorUntil(bool running, Kind kind) {
        if (running) {
            events->launch(editorID);
        } else {
            events->terminate(editorID);
        }
        // Settled: the state reached, the event handled and no disk command still running.
        return runUntil(
            [&] {
                return container->controller()->targetStates().first().status.kind() == kind &&
                       container->controller()->runningBundleIdentifiers().contains(editorID) == running &&
                       !diskService->hasCommandsInFlight();
            },
            20s);
    }

    QString mountPoint() const { return tool.state()["disks"][0]["partitions"][0]["mountPoint"].toString(); }

    FakeDiskTool tool{machine()};
    std::shared_ptr<DiskService> diskService = std::make_shared<DiskService>(
        FakeDiskTool::executablePath(), nullptr, tool.mountedVolumeLocationsFunction(),
        QStringList{QStringLiteral("/Volumes/")});
    std::shared_ptr<InMemoryPreferencesStore> preferences = std::make_shared<InMemoryPreferencesStore>();
    std::shared_ptr<RecordingNotifier> notifications = std::make_shared<RecordingNotifier>();
    std::shared_ptr<ScriptedApplicationEventSource> events =
        std::make_shared<ScriptedApplicationEventSource>();
    std::unique_ptr<TarnwellContainer> container;
};

} // namespace

TEST_F(HeadlessEndToEndTest, ALaunchMountsAQuitUnmountsAfterTheDelayOrRemindsAndABusyVolumeStays) {
    ASSERT_EQ(container->menuViewModel()->statusTitle(), QStringLiteral("Not Mounted"));
    ASSERT_TRUE(runEditorUntil(true, Kind::Mounted));
    EXPECT_EQ(mountPoint(), QStringLiteral("/Volumes/Rushes"));
    ASSERT_TRUE(runEditorUntil(false, Kind::NotMounted));
    EXPECT_EQ(mountPoint(), QString());

    // A volume in use is never forced: the unmount fails and says who holds it.
    tool.setState(machine({{"busy", true}, {"busyProcess", "4242 (render)"}}));
    ASSERT_TRUE(runEditorUntil(true, Kind::Mounted));
    ASSERT_TRUE(runEditorUntil(false, Kind::UnmountFailed));
    EXPECT_EQ(mountPoint(), QStringLiteral("/Volumes/Rushes"));
    EXPECT_TRUE(
        container->controller()->targetStates().first().status.message().contains(QStringLiteral("4242")));
    EXPECT_EQ(container->menuViewModel()->statusTitle(), QStringLiteral("Unmount Failed"));
    for (const QStringList& invocation : tool.invocations()) {
        EXPECT_FALSE(invocation.contains(QStringLiteral("force")));
    }

    // A reminder chosen on the rules page leaves the volume mounted.
    const QUuid ruleID = container->configuration().storageRules.first().id;
    runTask(container->rulesViewModel()->setPostQuitAction(PostQuitAction::Remind, ruleID), 20s);
    ASSERT_TRUE(runEditorUntil(true, Kind::Mounted));
    ASSERT_TRUE(runEditorUntil(false, Kind::ReadyToUnmount));
    EXPECT_EQ(container->dashboardViewModel()->safetySummary(), QStringLiteral("1 ready to unmount"));
    EXPECT_EQ(notifications->postedTitles(), (QStringList{"Drive Mounted", "Drive Unmounted", "Drive Mounted",
                                                          "Unmount Failed", "Drive Ready to Unmount"}));
}
