#include "ControllerTestFixture.h"

#include "core/model/TarnwellError.h"

namespace tarnwell::testing {
namespace {

class ControllerMountTest : public ControllerTest {
protected:
    StorageTargetRule media = localRule("Media", {editor.id});
    StorageTargetRule footage = localRule("Footage", {editor.id});
};

TEST_F(ControllerMountTest, LaunchMountsEachBoundRuleInTurnAndOnlyRecordsOneAlreadyMounted) {
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
    service->answerStatus(Status::mounted());

    ASSERT_TRUE(launch.isReady());
    EXPECT_EQ(service->callLog(), (QStringList{"status Media", "mount Media", "status Footage"}));
    EXPECT_EQ(logger->lines, (QStringList{
                                 "App launched: org.example.editor",
                                 "App launch: org.example.editor mounted Media.",
                                 "App launch: org.example.editor found Footage already mounted.",
                             }));
    EXPECT_EQ(notifier->requests, (QList<Notification>{{"Drive Mounted", "Media was mounted.", true}}));
    EXPECT_EQ(statusOf(media), Status::mounted());
    EXPECT_EQ(statusOf(footage), Status::mounted());
    EXPECT_EQ(publishedStatuses, (QList<TarnwellStatus>{TarnwellStatus::mounting(), TarnwellStatus::mounted(),
                                                        TarnwellStatus::mounted()}));
}

TEST_F(ControllerMountTest, LaunchMountsNothingForUnboundAppsOrRulesLeftToTheUser) {
    cutter.isEnabled = false;
    media.mountOnAppLaunch = false;
    start(configuration({media, localRule("Footage", {cutter.id})}, {editor, cutter}));

    auto ignored = controller->handleAppLaunched(cutterID);
    EXPECT_TRUE(controller->runningBundleIdentifiers().isEmpty());
    auto launch = controller->handleAppLaunched(editorID);

    ASSERT_TRUE(ignored.isReady() && launch.isReady());
    EXPECT_EQ(controller->runningBundleIdentifiers(), QSet<QString>{editorID});
    EXPECT_EQ(logger->lines, (QStringList{"Ignored launch for unconfigured app: org.example.cutter",
                                          "App launched: org.example.editor"}));
    EXPECT_TRUE(service->callLog().isEmpty());
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
    start(configuration({media, footage, disabled(localRule("Archive", {})), localRule("Spare", {})},
                        {editor}));
    refreshWith({Status::mounted(), Status::targetNotFound(), Status::notMounted()});
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

TEST_F(ControllerMountTest, ManualMountSkipsMissingAndDisabledRulesAndAHeldGate) {
    const auto archive = disabled(localRule("Archive", {editor.id}));
    start(configuration({media, footage, archive}, {editor}));

    auto missing = controller->mountRule(QUuid::createUuid());
    auto refused = controller->mountRule(archive.id);
    auto first = controller->mountRule(media.id);
    auto second = controller->mountRule(footage.id);
    auto all = controller->mountMissingTargets();
    ASSERT_TRUE(missing.isReady() && refused.isReady() && second.isReady() && all.isReady());
    service->answerStatus(Status::mounted());

    ASSERT_TRUE(first.isReady());
    // Nothing was queued, so releasing the gate starts no reconciliation.
    EXPECT_EQ(logger->lines,
              (QStringList{
                  "Manual rule mount skipped because the storage rule was not found or disabled.",
                  "Manual rule mount skipped because the storage rule was not found or disabled.",
                  "Manual rule mount skipped because mounting is already in progress.",
                  "Manual mount missing targets skipped because mounting is already in progress.",
                  "Manual rule mount found Media already mounted.",
              }));
    EXPECT_EQ(service->callLog(), QStringList{"status Media"});
}

TEST_F(ControllerMountTest, NetworkShareIsNeverMountedOnAnyPath) {
    const auto share = shareRule("Studio Share", {editor.id});
    start(configuration({share}, {editor}));

    auto launch = controller->handleAppLaunched(editorID);
    auto missing = controller->mountMissingTargets();
    auto single = controller->mountRule(share.id);

    ASSERT_TRUE(launch.isReady() && missing.isReady() && single.isReady());
    EXPECT_TRUE(service->callLog().isEmpty());
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

TEST_F(ControllerMountTest, RuleChangeDuringTheMountDropsItsFailure) {
    start(configuration({media, footage}, {editor}));
    auto mount = controller->mountRule(footage.id);
    service->answerStatus(Status::notMounted());
    auto update = controller->updateConfiguration(configuration({media, footage}, {editor}));
    logger->take();
    service->fail(TarnwellError::driveNotFound());

    EXPECT_EQ(statusOf(footage), Status::notConfigured());
    EXPECT_EQ(errorOf(footage), std::nullopt);
    service->answerStatus(Status::mounted());
    service->answerStatus(Status::notMounted());
    ASSERT_TRUE(mount.isReady() && update.isReady());
    EXPECT_EQ(logger->lines, (QStringList{
                                 "Manual rule mount mount failure ignored because the storage rule changed.",
                                 "Reconciling pending rule update.",
                                 "Drive status for Media: mounted.",
                                 "Drive status for Footage: mounted.",
                             }));
    EXPECT_TRUE(notifier->requests.isEmpty());
}

TEST_F(ControllerMountTest, RuleChangeDuringTheMountDropsItsSuccessAndStopsTheSequence) {
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
    EXPECT_TRUE(notifier->requests.isEmpty());
}

TEST_F(ControllerMountTest, RuleBoundTwiceToRunningAppsIsMountedOnce) {
    media.appTriggerIDs = {editor.id, cutter.id};
    start(configuration({media}, {editor, cutter}));
    launchMounted(editorID);
    launchMounted(cutterID);

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
