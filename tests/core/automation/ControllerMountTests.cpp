#include "ControllerTestFixture.h"

#include "core/model/TarnwellError.h"

namespace tarnwell::testing {
namespace {

using Status = StorageTargetRuntimeStatus;
using Notification = RecordingNotifier::Notification;

class ControllerMountTest : public ControllerTest {
protected:
    void SetUp() override {
        editor = trigger("Editor", {editorID});
        media = localRule("Media", {editor.id});
        footage = localRule("Footage", {editor.id});
    }

    AppTrigger editor;
    StorageTargetRule media;
    StorageTargetRule footage;
};

TEST_F(ControllerMountTest, LaunchMountsEveryBoundRuleOneAfterTheOther) {
    start(configuration({media, footage}, {editor}));

    auto launch = controller->handleAppLaunched(editorID);
    EXPECT_EQ(controller->runningBundleIdentifiers(), QSet<QString>{editorID});
    EXPECT_EQ(service->pendingLog(), QStringList{"status Media"});
    service->answerStatus(Status::notMounted());
    EXPECT_EQ(statusOf(media), Status::mounting());
    EXPECT_EQ(controller->status(), TarnwellStatus::mounting());
    EXPECT_EQ(service->pendingLog(), QStringList{"mount Media"});
    service->succeed();
    EXPECT_EQ(service->pendingLog(), QStringList{"status Footage"});
    service->answerStatus(Status::notMounted());
    service->succeed();

    ASSERT_TRUE(launch.isReady());
    EXPECT_EQ(logger->lines, (QStringList{
                                 "App launched: org.example.editor",
                                 "App launch: org.example.editor mounted Media.",
                                 "App launch: org.example.editor mounted Footage.",
                             }));
    EXPECT_EQ(notifier->requests, (QList<Notification>{{"Drive Mounted", "Media was mounted.", true},
                                                       {"Drive Mounted", "Footage was mounted.", true}}));
    EXPECT_EQ(statusOf(media), Status::mounted());
    EXPECT_EQ(statusOf(footage), Status::mounted());
    EXPECT_EQ(publishedStatuses,
              (QList<TarnwellStatus>{TarnwellStatus::mounting(), TarnwellStatus::mounted(),
                                     TarnwellStatus::mounting(), TarnwellStatus::mounted()}));
}

TEST_F(ControllerMountTest, AlreadyMountedTargetIsOnlyRecorded) {
    start(configuration({media}, {editor}));

    auto launch = controller->handleAppLaunched(editorID);
    service->answerStatus(Status::mounted());

    ASSERT_TRUE(launch.isReady());
    EXPECT_EQ(logger->lines, (QStringList{"App launched: org.example.editor",
                                          "App launch: org.example.editor found Media already mounted."}));
    EXPECT_EQ(service->callLog(), QStringList{"status Media"});
    EXPECT_TRUE(notifier->requests.isEmpty());
    EXPECT_EQ(statusOf(media), Status::mounted());
}

TEST_F(ControllerMountTest, UnboundLaunchIsIgnoredAndNotMarkedRunning) {
    auto disabledTrigger = trigger("Cutter", {cutterID}, false);
    auto bound = localRule("Footage", {disabledTrigger.id});
    start(configuration({media, bound}, {editor, disabledTrigger}));

    auto launch = controller->handleAppLaunched(cutterID);

    ASSERT_TRUE(launch.isReady());
    EXPECT_EQ(logger->lines, QStringList{"Ignored launch for unconfigured app: org.example.cutter"});
    EXPECT_TRUE(controller->runningBundleIdentifiers().isEmpty());
    EXPECT_TRUE(service->calls().isEmpty());
}

TEST_F(ControllerMountTest, LaunchWithoutMountOnLaunchStillMarksTheAppRunning) {
    media.mountOnAppLaunch = false;
    start(configuration({media}, {editor}));

    auto launch = controller->handleAppLaunched(editorID);

    ASSERT_TRUE(launch.isReady());
    EXPECT_EQ(controller->runningBundleIdentifiers(), QSet<QString>{editorID});
    EXPECT_EQ(logger->lines, QStringList{"App launched: org.example.editor"});
    EXPECT_TRUE(service->calls().isEmpty());
}

TEST_F(ControllerMountTest, FailedMountKeepsTheMessageAndTellsTheUser) {
    footage.showNotifications = false;
    start(configuration({media, footage}, {editor}));

    auto launch = controller->handleAppLaunched(editorID);
    service->answerStatus(Status::notMounted());
    service->fail(TarnwellError::commandFailed(1, "Volume Media on disk4s1 failed to mount"));
    service->answerStatus(Status::notMounted());
    service->fail(TarnwellError::mountFailed("no such volume"));

    ASSERT_TRUE(launch.isReady());
    EXPECT_EQ(statusOf(media), Status::mountFailed("Volume Media on disk4s1 failed to mount"));
    EXPECT_EQ(errorOf(media), "Volume Media on disk4s1 failed to mount");
    EXPECT_EQ(statusOf(footage), Status::mountFailed("Mount failed: no such volume"));
    EXPECT_EQ(controller->status(), TarnwellStatus::mountFailed("Volume Media on disk4s1 failed to mount"));
    EXPECT_EQ(
        logger->lines,
        (QStringList{
            "App launched: org.example.editor",
            "App launch: org.example.editor failed to mount Media: Volume Media on disk4s1 failed to mount",
            "App launch: org.example.editor failed to mount Footage: Mount failed: no such volume",
        }));
    // The rule's own switch travels with the request; the notifier decides not to post.
    EXPECT_EQ(notifier->requests,
              (QList<Notification>{{"Mount Failed", "Volume Media on disk4s1 failed to mount", true},
                                   {"Mount Failed", "Mount failed: no such volume", false}}));
}

TEST_F(ControllerMountTest, SuccessfulMountClearsAnEarlierFailure) {
    start(configuration({media}, {editor}));
    auto failing = controller->mountRule(media.id);
    service->answerStatus(Status::notMounted());
    service->fail(TarnwellError::driveNotFound());
    ASSERT_EQ(errorOf(media), "Drive was not found.");

    auto retry = controller->mountMissingTargets();
    service->answerStatus(Status::notMounted());
    service->succeed();

    ASSERT_TRUE(retry.isReady());
    EXPECT_EQ(statusOf(media), Status::mounted());
    EXPECT_EQ(errorOf(media), std::nullopt);
    EXPECT_EQ(logger->lines, (QStringList{"Manual rule mount failed to mount Media: Drive was not found.",
                                          "Manual mount missing targets mounted Media."}));
}

TEST_F(ControllerMountTest, MountMissingTargetsTakesOnlyEnabledRulesThatMayBeMounted) {
    auto archive = localRule("Archive", {});
    archive.isEnabled = false;
    auto spare = localRule("Spare", {});
    start(configuration({media, footage, archive, spare}, {editor}));
    auto refresh = controller->refreshDriveStatus();
    service->answerStatus(Status::mounted());
    service->answerStatus(Status::targetNotFound());
    service->answerStatus(Status::notMounted());
    ASSERT_TRUE(refresh.isReady());
    logger->take();

    // Neither a mounted rule nor a disabled one is touched; no running app is needed.
    auto mount = controller->mountMissingTargets();
    EXPECT_EQ(service->pendingLog(), QStringList{"status Footage"});
    service->answerStatus(Status::targetNotFound());
    service->fail(TarnwellError::driveNotFound());
    service->answerStatus(Status::notMounted());
    service->succeed();

    ASSERT_TRUE(mount.isReady());
    EXPECT_EQ(logger->lines,
              (QStringList{"Manual mount missing targets failed to mount Footage: Drive was not found.",
                           "Manual mount missing targets mounted Spare."}));
}

TEST_F(ControllerMountTest, MountRuleRefusesMissingAndDisabledRules) {
    auto archive = localRule("Archive", {editor.id});
    archive.isEnabled = false;
    start(configuration({media, archive}, {editor}));

    auto missing = controller->mountRule(QUuid::createUuid());
    auto disabled = controller->mountRule(archive.id);

    ASSERT_TRUE(missing.isReady());
    ASSERT_TRUE(disabled.isReady());
    EXPECT_EQ(
        logger->lines,
        QStringList(2, "Manual rule mount skipped because the storage rule was not found or disabled."));
    EXPECT_TRUE(service->calls().isEmpty());
}

TEST_F(ControllerMountTest, ManualMountWhileTheGateIsHeldOnlyLogsTheSkip) {
    start(configuration({media, footage}, {editor}));
    auto first = controller->mountRule(media.id);

    auto second = controller->mountRule(footage.id);
    auto missing = controller->mountMissingTargets();

    ASSERT_TRUE(second.isReady());
    ASSERT_TRUE(missing.isReady());
    EXPECT_EQ(logger->lines,
              (QStringList{"Manual rule mount skipped because mounting is already in progress.",
                           "Manual mount missing targets skipped because mounting is already in progress."}));
    service->answerStatus(Status::mounted());
    ASSERT_TRUE(first.isReady());
    // Nothing was queued, so releasing the gate starts no reconciliation.
    EXPECT_EQ(logger->lines.last(), "Manual rule mount found Media already mounted.");
    EXPECT_EQ(service->callLog(), QStringList{"status Media"});
}

TEST_F(ControllerMountTest, NetworkShareIsNeverMountedOnAnyPath) {
    const auto share = shareRule("Studio Share", {editor.id});
    start(configuration({share}, {editor}));

    auto launch = controller->handleAppLaunched(editorID);
    auto missing = controller->mountMissingTargets();
    auto single = controller->mountRule(share.id);

    ASSERT_TRUE(launch.isReady() && missing.isReady() && single.isReady());
    EXPECT_TRUE(service->calls().isEmpty());
    EXPECT_EQ(statusOf(share), Status::targetNotFound());
    EXPECT_EQ(controller->status(), TarnwellStatus::driveNotFound());
    EXPECT_EQ(logger->lines, (QStringList{
                                 "App launched: org.example.editor",
                                 "App launch: org.example.editor skipped unsupported target Studio Share.",
                                 "Manual mount missing targets skipped unsupported target Studio Share.",
                                 "Manual rule mount skipped unsupported target Studio Share.",
                             }));
}

TEST_F(ControllerMountTest, RuleChangeDuringTheStatusQueryDropsTheResult) {
    start(configuration({media}, {editor}));
    runningNow = {editorID};
    auto launch = controller->handleAppLaunched(editorID);
    auto update = controller->updateConfiguration(configuration({media}, {editor}));
    ASSERT_TRUE(update.isReady());

    service->answerStatus(Status::notMounted());
    EXPECT_EQ(statusOf(media), Status::notConfigured());
    // The owed reconciliation mounts again for the app that still runs.
    service->answerStatus(Status::mounted());

    ASSERT_TRUE(launch.isReady());
    EXPECT_EQ(
        logger->lines,
        (QStringList{
            "App launched: org.example.editor",
            "Drive configuration updated.",
            "Rule reconciliation queued until the current disk operation completes.",
            "App launch: org.example.editor cancelled because the storage rule changed during target checks.",
            "Reconciling pending rule update.",
            "Pending rule update found Media already mounted.",
        }));
    EXPECT_EQ(service->callLog(), (QStringList{"status Media", "status Media"}));
}

TEST_F(ControllerMountTest, RuleChangeDuringTheMountDropsSuccessAndFailure) {
    start(configuration({media, footage}, {editor}));
    auto launch = controller->mountMissingTargets();
    service->answerStatus(Status::notMounted());
    auto update = controller->updateConfiguration(configuration({media, footage}, {editor}));
    logger->take();

    service->succeed();
    EXPECT_EQ(logger->take(),
              (QStringList{"Manual mount missing targets mount result ignored because the storage "
                           "rule changed.",
                           "Reconciling pending rule update."}));
    // The owed reconciliation refreshes, since no bound app runs.
    EXPECT_EQ(service->pendingLog(), QStringList{"status Media"});
    service->answerStatus(Status::mounted());
    service->answerStatus(Status::notMounted());
    ASSERT_TRUE(launch.isReady());
    EXPECT_TRUE(notifier->requests.isEmpty());

    auto retry = controller->mountRule(footage.id);
    service->answerStatus(Status::notMounted());
    auto secondUpdate = controller->updateConfiguration(configuration({media, footage}, {editor}));
    logger->take();
    service->fail(TarnwellError::driveNotFound());

    EXPECT_EQ(logger->lines.first(),
              "Manual rule mount mount failure ignored because the storage rule changed.");
    EXPECT_EQ(statusOf(footage), Status::notConfigured());
    EXPECT_EQ(errorOf(footage), std::nullopt);
    service->answerStatus(Status::mounted());
    service->answerStatus(Status::notMounted());
    ASSERT_TRUE(retry.isReady());
    EXPECT_TRUE(notifier->requests.isEmpty());
}

TEST_F(ControllerMountTest, SequenceStopsWhenTheRulesChangeBetweenRules) {
    start(configuration({media, footage}, {editor}));
    auto mount = controller->mountMissingTargets();
    service->answerStatus(Status::notMounted());
    // The update arrives while the mount holds the gate; the sequence resumes afterwards.
    auto update = controller->updateConfiguration(configuration({media, footage}, {editor}));
    service->succeed();
    service->answerStatus(Status::notMounted());
    service->answerStatus(Status::notMounted());

    ASSERT_TRUE(mount.isReady());
    EXPECT_EQ(logger->lines, (QStringList{
                                 "Drive configuration updated.",
                                 "Rule reconciliation queued until the current disk operation completes.",
                                 "Manual mount missing targets mount result ignored because the storage rule "
                                 "changed.",
                                 "Reconciling pending rule update.",
                                 "Drive status for Media: not configured.",
                                 "Drive status for Footage: not mounted.",
                                 "Manual mount missing targets stopped because the storage rules changed.",
                             }));
}

TEST_F(ControllerMountTest, RuleBoundTwiceToRunningAppsIsMountedOnce) {
    const auto cutter = trigger("Cutter", {cutterID});
    media.appTriggerIDs = {editor.id, cutter.id};
    start(configuration({media}, {editor, cutter}));
    runningNow = {editorID, cutterID};
    auto editorLaunch = controller->handleAppLaunched(editorID);
    service->answerStatus(Status::notMounted());
    service->succeed();
    auto cutterLaunch = controller->handleAppLaunched(cutterID);
    service->answerStatus(Status::mounted());
    ASSERT_TRUE(editorLaunch.isReady() && cutterLaunch.isReady());
    logger->take();

    // Both running apps list the rule; the reconciliation handles it once.
    auto update = controller->updateConfiguration(configuration({media}, {editor, cutter}));
    service->answerStatus(Status::mounted());

    ASSERT_TRUE(update.isReady());
    EXPECT_EQ(logger->lines, (QStringList{"Drive configuration updated.",
                                          "Configuration update found Media already mounted."}));
    EXPECT_EQ(service->pendingCount(), 0);
}

} // namespace
} // namespace tarnwell::testing
