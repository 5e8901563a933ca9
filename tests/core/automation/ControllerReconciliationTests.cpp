#include "ControllerTestFixture.h"

#include "core/model/TarnwellError.h"

namespace tarnwell::testing {
namespace {

using ControllerReconciliationTest = ControllerTest;

TEST_F(ControllerReconciliationTest, LaunchDuringAnUnmountIsReconciledBeforeAnyWaiter) {
    const auto media = localRule("Media", {editor.id});
    const auto footage = localRule("Footage", {cutter.id});
    const auto archive = localRule("Archive", {});
    start(configuration({media, footage, archive}, {editor, cutter}));

    auto unmount = controller->unmountRuleSafely(media.id);
    auto waiter = controller->unmountRuleSafely(archive.id);
    runningNow.insert(cutterID);
    auto launch = controller->handleAppLaunched(cutterID);
    auto relaunch = controller->handleAppLaunched(cutterID);
    ASSERT_TRUE(launch.isReady() && relaunch.isReady());

    service->answerStatus(Status::mounted());
    service->succeed();
    // The reconciliation runs as the gate is released, ahead of the waiting unmount.
    EXPECT_EQ(service->pendingLog(), QStringList{"status Footage"});
    service->answerStatus(Status::notMounted());
    service->succeed();
    ASSERT_TRUE(unmount.isReady());
    EXPECT_EQ(service->pendingCount(), 0);
    drainEvents();
    EXPECT_EQ(service->pendingLog(), QStringList{"status Archive"});
    service->answerStatus(Status::notMounted());

    ASSERT_TRUE(waiter.isReady());
    EXPECT_EQ(logger->lines,
              (QStringList{
                  "Manual rule unmount waiting because another disk operation is in progress.",
                  "App launched: org.example.cutter",
                  "App launch: org.example.cutter skipped because unmounting is already in progress.",
                  "Rule reconciliation queued until the current disk operation completes.",
                  "App launched: org.example.cutter",
                  "App launch: org.example.cutter skipped because unmounting is already in progress.",
                  "Manual rule unmount unmounted Media.",
                  "Reconciling pending rule update.",
                  "Pending rule update mounted Footage.",
                  "Manual rule unmount skipped because Archive is not mounted.",
              }));
    EXPECT_EQ(notifier->requests, (QList<Notification>{{"Drive Unmounted", "Media was unmounted.", true},
                                                       {"Drive Mounted", "Footage was mounted.", true}}));
}

TEST_F(ControllerReconciliationTest, ThreeUpdatesDuringAnAutoUnmountReconcileOnceWithTheLast) {
    const auto media = localRule("Media", {editor.id}, PostQuitAction::AutoUnmount, 30);
    const auto footage = localRule("Footage", {cutter.id});
    start(configuration({media}, {editor, cutter}));
    launchMounted(editorID);
    auto quit = terminate(editorID);
    delay.release();
    service->answerStatus(Status::mounted());
    logger->take();
    publishedStatuses.clear();

    auto first = controller->updateConfiguration(configuration({media}, {editor, cutter}));
    auto second = controller->updateConfiguration(configuration({media}, {editor}));
    auto third = controller->updateConfiguration(configuration({media, footage}, {editor, cutter}));
    ASSERT_TRUE(first.isReady() && second.isReady() && third.isReady());
    EXPECT_EQ(controller->ruleRevision(), 3);
    // The aggregate waits for the reconciliation.
    EXPECT_TRUE(publishedStatuses.isEmpty());
    service->succeed();
    EXPECT_EQ(service->pendingLog(), QStringList{"status Media"});
    service->answerStatus(Status::notMounted());
    service->answerStatus(Status::mounted());

    ASSERT_TRUE(quit.isReady());
    EXPECT_EQ(logger->lines, (QStringList{
                                 "Drive configuration updated.",
                                 "Rule reconciliation queued until the current disk operation completes.",
                                 "Drive configuration updated.",
                                 "Drive configuration updated.",
                                 "Auto-unmount result ignored because the storage rule changed.",
                                 "Reconciling pending rule update.",
                                 "Drive status for Media: not configured.",
                                 "Drive status for Footage: mounted.",
                             }));
    EXPECT_TRUE(notifier->requests.isEmpty());
    EXPECT_EQ(statusOf(media), Status::notMounted());
    EXPECT_EQ(statusOf(footage), Status::mounted());
}

TEST_F(ControllerReconciliationTest, ThreeWaitersResumeInArrivalOrder) {
    const auto alpha = localRule("Alpha", {});
    const auto beta = localRule("Beta", {});
    const auto gamma = localRule("Gamma", {});
    const auto delta = localRule("Delta", {});
    start(configuration({alpha, beta, gamma, delta}, {}));

    auto holder = controller->unmountRuleSafely(alpha.id);
    auto firstWaiter = controller->unmountRuleSafely(beta.id);
    auto secondWaiter = controller->unmountRuleSafely(gamma.id);
    auto thirdWaiter = controller->unmountRuleSafely(delta.id);
    service->answerStatus(Status::notMounted());
    // Released waiters resume from the event loop, once the releasing operation has finished.
    ASSERT_TRUE(holder.isReady());
    EXPECT_EQ(service->pendingCount(), 0);

    for (const auto* name : {"Beta", "Gamma", "Delta"}) {
        drainEvents();
        EXPECT_EQ(service->pendingLog(), QStringList{QStringLiteral("status ") + name});
        service->answerStatus(Status::notMounted());
    }

    ASSERT_TRUE(firstWaiter.isReady() && secondWaiter.isReady() && thirdWaiter.isReady());
    const QString waiting = "Manual rule unmount waiting because another disk operation is in progress.";
    EXPECT_EQ(logger->lines, (QStringList{
                                 waiting,
                                 waiting,
                                 waiting,
                                 "Manual rule unmount skipped because Alpha is not mounted.",
                                 waiting,
                                 waiting,
                                 "Manual rule unmount skipped because Beta is not mounted.",
                                 waiting,
                                 "Manual rule unmount skipped because Gamma is not mounted.",
                                 "Manual rule unmount skipped because Delta is not mounted.",
                             }));
}

TEST_F(ControllerReconciliationTest, UpdateWithoutRunningAppsRefreshesEveryEnabledRule) {
    const auto media = localRule("Media", {editor.id});
    const auto archive = disabled(localRule("Archive", {editor.id}));
    const auto share = shareRule("Studio Share", {editor.id});
    start(configuration({}, {editor}));

    auto update = controller->updateConfiguration(configuration({media, archive, share}, {editor}));
    EXPECT_EQ(controller->targetStates().size(), 3);
    service->answerStatus(Status::mounted());
    service->answerStatus(Status::targetNotFound());

    ASSERT_TRUE(update.isReady());
    EXPECT_EQ(service->callLog(), (QStringList{"status Media", "status Studio Share"}));
    EXPECT_EQ(logger->lines, (QStringList{
                                 "Drive configuration updated.",
                                 "Drive status for Media: mounted.",
                                 "Drive status for Studio Share: drive not found.",
                             }));
    EXPECT_EQ(statusOf(archive), Status::notConfigured());
    EXPECT_EQ(controller->status(), TarnwellStatus::driveNotFound());
}

TEST_F(ControllerReconciliationTest, UpdateWhileABoundAppRunsMountsOnlyItsRules) {
    const auto media = localRule("Media", {editor.id});
    const auto footage = localRule("Footage", {cutter.id});
    auto manual = localRule("Manual", {editor.id});
    manual.mountOnAppLaunch = false;
    start(configuration({}, {editor, cutter}));
    runningNow = {editorID, otherID};

    auto update = controller->updateConfiguration(configuration({media, footage, manual}, {editor, cutter}));
    EXPECT_EQ(controller->runningBundleIdentifiers(), QSet<QString>{editorID});
    service->answerStatus(Status::notMounted());
    service->succeed();

    ASSERT_TRUE(update.isReady());
    EXPECT_EQ(logger->lines,
              (QStringList{"Drive configuration updated.", "Configuration update mounted Media."}));
    EXPECT_EQ(statusOf(footage), Status::notConfigured());
    EXPECT_EQ(statusOf(manual), Status::notConfigured());
}

TEST_F(ControllerReconciliationTest, EmptyAndAllDisabledConfigurationsAreNotConfigured) {
    const auto media = localRule("Media", {editor.id});
    start(configuration({media}, {editor}));
    refreshWith({Status::mounted()});

    auto empty = controller->updateConfiguration(configuration({}, {editor}));
    ASSERT_TRUE(empty.isReady());
    EXPECT_EQ(controller->status(), TarnwellStatus::notConfigured());
    EXPECT_TRUE(controller->targetStates().isEmpty());

    auto allDisabled = controller->updateConfiguration(configuration({disabled(media)}, {editor}));
    ASSERT_TRUE(allDisabled.isReady());
    EXPECT_EQ(controller->status(), TarnwellStatus::notConfigured());
    EXPECT_EQ(logger->lines, (QStringList{
                                 "Drive status for Media: mounted.",
                                 "Drive configuration updated.",
                                 "Drive status: not configured.",
                                 "Drive configuration updated.",
                                 "Drive status: not configured.",
                             }));
}

TEST_F(ControllerReconciliationTest, RefreshEndsWhenTheRulesChangeUnderIt) {
    const auto media = localRule("Media", {editor.id});
    const auto footage = localRule("Footage", {editor.id});
    start(configuration({media, footage}, {editor}));

    auto refresh = controller->refreshDriveStatus();
    auto update = controller->updateConfiguration(configuration({media, footage}, {editor}));
    service->answerStatus(Status::mounted(), 0);
    ASSERT_TRUE(refresh.isReady());
    EXPECT_EQ(statusOf(media), Status::notConfigured());
    service->answerStatus(Status::notMounted());
    service->answerStatus(Status::notMounted());

    ASSERT_TRUE(update.isReady());
    EXPECT_EQ(service->callLog(), (QStringList{"status Media", "status Media", "status Footage"}));
    EXPECT_EQ(logger->lines, (QStringList{
                                 "Drive configuration updated.",
                                 "Drive status ignored because the storage rule changed.",
                                 "Drive status for Media: not configured.",
                                 "Drive status for Footage: not mounted.",
                             }));
}

TEST_F(ControllerReconciliationTest, RefreshClearsAFailureAndAReminder) {
    const auto media = localRule("Media", {editor.id});
    const auto footage = localRule("Footage", {editor.id});
    start(configuration({media, footage}, {editor}));
    auto mount = controller->mountMissingTargets();
    service->answerStatus(Status::notMounted());
    service->fail(TarnwellError::driveNotFound());
    service->answerStatus(Status::mounted());
    ASSERT_TRUE(mount.isReady());
    ASSERT_EQ(errorOf(media), "Drive was not found.");

    auto refresh = controller->refreshDriveStatus();
    service->answerStatus(Status::notMounted());
    service->answerStatus(Status::mounted());

    ASSERT_TRUE(refresh.isReady());
    EXPECT_EQ(statusOf(media), Status::notMounted());
    EXPECT_EQ(errorOf(media), std::nullopt);
    EXPECT_EQ(logger->lines.mid(logger->lines.size() - 2),
              (QStringList{"Drive status for Media: mounted.", "Drive status for Footage: mounted."}));
}

TEST_F(ControllerReconciliationTest, DestroyingTheControllerEndsSuspendedWorkQuietly) {
    const auto media = localRule("Media", {editor.id}, PostQuitAction::AutoUnmount, 30);
    const auto footage = localRule("Footage", {cutter.id});
    start(configuration({media, footage}, {editor, cutter}));
    auto holder = controller->unmountRuleSafely(footage.id);
    auto waiter = controller->unmountRuleSafely(media.id);
    runningNow.insert(editorID);
    auto launch = controller->handleAppLaunched(editorID);
    auto refresh = controller->refreshDriveStatus();
    auto quit = terminate(editorID);
    ASSERT_EQ(delay.pendingSeconds(), QList<qint64>{30});
    const auto linesBefore = logger->lines;

    controller.reset();
    drainEvents();
    EXPECT_TRUE(delay.pendingSeconds().isEmpty());
    service->abandonPending();
    drainEvents();

    EXPECT_TRUE(holder.isReady() && waiter.isReady() && launch.isReady() && refresh.isReady() &&
                quit.isReady());
    EXPECT_EQ(logger->lines, linesBefore);
    EXPECT_TRUE(notifier->requests.isEmpty());
}

} // namespace
} // namespace tarnwell::testing
