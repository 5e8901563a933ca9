#include "ControllerTestFixture.h"

#include "core/model/TarnwellError.h"

namespace tarnwell::testing {
namespace {

using ControllerQuitTest = ControllerTest;

TEST_F(ControllerQuitTest, RemindsOnlyOfMountedTargetsAndOffOnlyRecords) {
    const auto media = localRule("Media", {editor.id}, PostQuitAction::Remind);
    const auto footage = localRule("Footage", {editor.id}, PostQuitAction::Remind);
    const auto notes = localRule("Notes", {editor.id}, PostQuitAction::Off);
    start(configuration({media, footage, notes}, {editor}));
    launchMounted(editorID, 3);

    auto unbound = controller->handleAppTerminated(otherID);
    auto quit = terminate(editorID);
    EXPECT_TRUE(controller->runningBundleIdentifiers().isEmpty());
    service->answerStatus(Status::mounted());
    service->answerStatus(Status::targetNotFound());

    ASSERT_TRUE(unbound.isReady() && quit.isReady());
    EXPECT_EQ(statusOf(media), Status::readyToUnmount());
    EXPECT_EQ(statusOf(footage), Status::targetNotFound());
    EXPECT_EQ(statusOf(notes), Status::mounted());
    EXPECT_EQ(controller->status(), TarnwellStatus::readyToUnmount());
    EXPECT_EQ(logger->lines, (QStringList{
                                 "Ignored termination for unconfigured app: org.example.other",
                                 "App terminated: org.example.editor",
                                 "Media is ready to unmount.",
                                 "Post-quit action skipped because Footage is not mounted.",
                                 "Post-quit action is off for Notes.",
                             }));
    EXPECT_EQ(notifier->requests,
              (QList<Notification>{{"Drive Ready to Unmount", "Media can be safely unmounted.", true}}));
    EXPECT_EQ(service->callLog().mid(3), (QStringList{"status Media", "status Footage"}));
}

TEST_F(ControllerQuitTest, TerminationAfterTheRulesWereDisabledIsIgnored) {
    const auto media = localRule("Media", {editor.id}, PostQuitAction::AutoUnmount);
    start(configuration({media}, {editor}));
    launchMounted(editorID);
    auto update = controller->updateConfiguration(configuration({disabled(media)}, {editor}));
    EXPECT_TRUE(controller->runningBundleIdentifiers().isEmpty());
    logger->take();

    auto quit = terminate(editorID);

    ASSERT_TRUE(update.isReady() && quit.isReady());
    EXPECT_EQ(logger->lines, QStringList{"Ignored termination for unconfigured app: org.example.editor"});
    EXPECT_TRUE(delay.requests().isEmpty());
}

TEST_F(ControllerQuitTest, RuleBoundToTwoAppsActsOnlyAfterTheLastQuits) {
    const auto media = localRule("Media", {editor.id, cutter.id}, PostQuitAction::Remind);
    start(configuration({media}, {editor, cutter}));
    launchMounted(editorID);
    launchMounted(cutterID);

    auto firstQuit = terminate(editorID);
    ASSERT_TRUE(firstQuit.isReady());
    EXPECT_EQ(controller->runningBundleIdentifiers(), QSet<QString>{cutterID});
    auto secondQuit = terminate(cutterID);
    service->answerStatus(Status::mounted());

    ASSERT_TRUE(secondQuit.isReady());
    EXPECT_EQ(logger->lines, (QStringList{
                                 "App terminated: org.example.editor",
                                 "Post-quit action skipped for Media because a bound app is still running.",
                                 "App terminated: org.example.cutter",
                                 "Media is ready to unmount.",
                             }));
    EXPECT_EQ(statusOf(media), Status::readyToUnmount());
}

TEST_F(ControllerQuitTest, StaleRunningEntriesDisappearWhenTheAppIsNoLongerRunning) {
    const auto media = localRule("Media", {editor.id, cutter.id}, PostQuitAction::Off);
    start(configuration({media}, {editor, cutter}));
    launchMounted(editorID);
    launchMounted(cutterID);
    // The cutter quit without a notification; the platform no longer lists it.
    runningNow.remove(cutterID);

    auto quit = terminate(editorID);

    ASSERT_TRUE(quit.isReady());
    EXPECT_TRUE(controller->runningBundleIdentifiers().isEmpty());
    EXPECT_EQ(logger->lines,
              (QStringList{"App terminated: org.example.editor", "Post-quit action is off for Media."}));
}

TEST_F(ControllerQuitTest, ImmediateAutoUnmountRunsInsideTheTermination) {
    const auto media = localRule("Media", {editor.id}, PostQuitAction::AutoUnmount, 0);
    auto footage = localRule("Footage", {editor.id}, PostQuitAction::AutoUnmount, -5);
    start(configuration({media, footage}, {editor}));
    launchMounted(editorID, 2);

    auto quit = terminate(editorID);
    EXPECT_EQ(delay.pendingSeconds(), QList<qint64>{0});
    delay.release();
    service->answerStatus(Status::mounted());
    EXPECT_EQ(statusOf(media), Status::unmounting());
    EXPECT_EQ(controller->status(), TarnwellStatus::unmounting());
    service->succeed();
    // A negative delay waits zero seconds.
    EXPECT_EQ(delay.pendingSeconds(), QList<qint64>{0});
    delay.release();
    service->answerStatus(Status::mounted());
    service->fail(
        TarnwellError::commandFailed(1, "Volume Footage on disk5s1 failed to unmount: target is busy"));

    ASSERT_TRUE(quit.isReady());
    EXPECT_EQ(delay.requests(), (QList<qint64>{0, 0}));
    EXPECT_EQ(statusOf(media), Status::notMounted());
    EXPECT_EQ(statusOf(footage),
              Status::unmountFailed("Volume Footage on disk5s1 failed to unmount: target is busy"));
    EXPECT_EQ(errorOf(footage), "Volume Footage on disk5s1 failed to unmount: target is busy");
    EXPECT_EQ(logger->lines, (QStringList{
                                 "App terminated: org.example.editor",
                                 "Auto-unmount unmounted Media.",
                                 "Auto-unmount failed to unmount Footage: Volume Footage on disk5s1 failed "
                                 "to unmount: target is busy",
                             }));
    EXPECT_EQ(notifier->requests,
              (QList<Notification>{
                  {"Drive Unmounted", "Media was unmounted.", true},
                  {"Unmount Failed", "Volume Footage on disk5s1 failed to unmount: target is busy", true}}));
}

TEST_F(ControllerQuitTest, DelayedAutoUnmountsRunAfterImmediateActionsAndWaitSideBySide) {
    const auto media = localRule("Media", {editor.id}, PostQuitAction::AutoUnmount, 30);
    const auto footage = localRule("Footage", {editor.id}, PostQuitAction::AutoUnmount, 5);
    const auto notes = localRule("Notes", {editor.id}, PostQuitAction::Remind);
    start(configuration({media, footage, notes}, {editor}));
    launchMounted(editorID, 3);

    auto quit = terminate(editorID);
    // The reminder of the later rule runs first, before any delay starts.
    EXPECT_TRUE(delay.requests().isEmpty());
    service->answerStatus(Status::mounted());
    EXPECT_EQ(delay.pendingSeconds(), (QList<qint64>{30, 5}));

    delay.release(0);
    delay.release(0);
    EXPECT_EQ(service->pendingLog(), QStringList{"status Media"});
    service->answerStatus(Status::mounted());
    service->succeed();
    drainEvents();
    service->answerStatus(Status::mounted());
    service->succeed();

    ASSERT_TRUE(quit.isReady());
    EXPECT_EQ(logger->lines, (QStringList{
                                 "App terminated: org.example.editor",
                                 "Notes is ready to unmount.",
                                 "Auto-unmount waiting because another disk operation is in progress.",
                                 "Auto-unmount unmounted Media.",
                                 "Auto-unmount unmounted Footage.",
                             }));
}

TEST_F(ControllerQuitTest, RelaunchDuringTheDelayCancelsTheUnmount) {
    const auto media = localRule("Media", {editor.id}, PostQuitAction::AutoUnmount, 30);
    start(configuration({media}, {editor}));
    launchMounted(editorID);
    auto quit = terminate(editorID);

    // The launch is not held up by the waiting unmount.
    runningNow.insert(editorID);
    auto relaunch = controller->handleAppLaunched(editorID);
    service->answerStatus(Status::mounted());
    ASSERT_TRUE(relaunch.isReady());
    delay.release();

    ASSERT_TRUE(quit.isReady());
    EXPECT_EQ(logger->lines, (QStringList{
                                 "App terminated: org.example.editor",
                                 "App launched: org.example.editor",
                                 "App launch: org.example.editor found Media already mounted.",
                                 "Auto-unmount cancelled because a bound app is running again.",
                             }));
    EXPECT_EQ(statusOf(media), Status::mounted());
    EXPECT_EQ(service->pendingCount(), 0);
}

TEST_F(ControllerQuitTest, RuleChangeDuringTheDelayCancelsTheUnmount) {
    const auto media = localRule("Media", {editor.id}, PostQuitAction::AutoUnmount, 30);
    start(configuration({media}, {editor}));
    launchMounted(editorID);
    auto quit = terminate(editorID);
    auto update = controller->updateConfiguration(configuration({media}, {editor}));
    service->answerStatus(Status::mounted());
    ASSERT_TRUE(update.isReady());
    logger->take();

    delay.release();

    ASSERT_TRUE(quit.isReady());
    EXPECT_EQ(logger->lines,
              QStringList{"Auto-unmount cancelled because the storage rule changed during the delay."});
}

TEST_F(ControllerQuitTest, AppRunningAgainAtTheUnmountStepCancelsIt) {
    const auto media = localRule("Media", {editor.id}, PostQuitAction::AutoUnmount, 30);
    start(configuration({media}, {editor}));
    launchMounted(editorID);
    auto quit = terminate(editorID);
    delay.release();
    // The app comes back, without a launch notification yet, while the status is queried.
    runningNow.insert(editorID);
    service->answerStatus(Status::mounted());

    ASSERT_TRUE(quit.isReady());
    EXPECT_EQ(logger->lines.last(), "Auto-unmount cancelled because bound apps are still running.");
    EXPECT_EQ(statusOf(media), Status::mounted());
    EXPECT_EQ(service->callLog().last(), "status Media");
}

TEST_F(ControllerQuitTest, RuleChangeDuringTheUnmountDropsItsResult) {
    const auto media = localRule("Media", {editor.id}, PostQuitAction::Off);
    start(configuration({media}, {editor}));
    launchMounted(editorID);

    auto unmount = controller->unmountRuleSafely(media.id);
    auto update = controller->updateConfiguration(configuration({media}, {editor}));
    service->answerStatus(Status::mounted());
    EXPECT_TRUE(logger->lines.contains(
        "Manual rule unmount cancelled because the storage rule changed during target checks."));
    service->answerStatus(Status::mounted()); // the owed reconciliation, for the running editor
    ASSERT_TRUE(unmount.isReady());

    auto second = controller->unmountRuleSafely(media.id);
    service->answerStatus(Status::mounted());
    auto secondUpdate = controller->updateConfiguration(configuration({media}, {editor}));
    service->succeed();
    EXPECT_EQ(logger->lines.at(logger->lines.size() - 2),
              "Manual rule unmount result ignored because the storage rule changed.");
    service->answerStatus(Status::mounted());
    ASSERT_TRUE(second.isReady());

    auto third = controller->unmountRuleSafely(media.id);
    service->answerStatus(Status::mounted());
    auto thirdUpdate = controller->updateConfiguration(configuration({media}, {editor}));
    service->fail(TarnwellError::unmountFailed("busy"));
    EXPECT_EQ(logger->lines.at(logger->lines.size() - 2),
              "Manual rule unmount failure ignored because the storage rule changed.");
    service->answerStatus(Status::mounted());

    ASSERT_TRUE(third.isReady());
    EXPECT_TRUE(notifier->requests.isEmpty());
    EXPECT_EQ(statusOf(media), Status::mounted());
}

TEST_F(ControllerQuitTest, ManualUnmountIgnoresRunningAppsButNeverForces) {
    const auto media = localRule("Media", {editor.id}, PostQuitAction::Off);
    const auto archive = disabled(localRule("Archive", {editor.id}));
    start(configuration({media, archive}, {editor}));
    launchMounted(editorID);

    auto disabled = controller->unmountRuleSafely(archive.id);
    auto unmount = controller->unmountRuleSafely(media.id);
    service->answerStatus(Status::mounted());
    service->fail(
        TarnwellError::commandFailed(1, "Volume Media on disk4s1 failed to unmount: target is busy"));

    ASSERT_TRUE(disabled.isReady() && unmount.isReady());
    EXPECT_EQ(service->callLog(), (QStringList{"status Media", "status Media", "unmount Media"}));
    EXPECT_EQ(logger->lines,
              (QStringList{
                  "Manual rule unmount skipped because the storage rule was not found or disabled.",
                  "Manual rule unmount failed to unmount Media: Volume Media on disk4s1 failed to unmount: "
                  "target is "
                  "busy",
              }));
    EXPECT_EQ(controller->status(),
              TarnwellStatus::unmountFailed("Volume Media on disk4s1 failed to unmount: target is busy"));
}

TEST_F(ControllerQuitTest, UnmountReadyTargetsTakesMountedAndReadyRulesInOrder) {
    const auto media = localRule("Media", {editor.id});
    const auto notes = localRule("Notes", {editor.id});
    start(configuration({media, localRule("Footage", {editor.id}), notes}, {editor}));

    auto nothing = controller->unmountReadyTargets();
    ASSERT_TRUE(nothing.isReady());
    EXPECT_TRUE(logger->lines.isEmpty());

    refreshWith({Status::mounted(), Status::notMounted(), Status::readyToUnmount()});
    logger->take();

    auto unmount = controller->unmountReadyTargets();
    service->answerStatus(Status::notMounted());
    service->answerStatus(Status::mounted());
    service->succeed();

    ASSERT_TRUE(unmount.isReady());
    EXPECT_EQ(logger->lines, (QStringList{"Manual target unmount skipped because Media is not mounted.",
                                          "Manual target unmount unmounted Notes."}));
    EXPECT_EQ(statusOf(media), Status::notMounted());
    EXPECT_EQ(statusOf(notes), Status::notMounted());
}

TEST_F(ControllerQuitTest, NetworkShareEndsNotFoundOnEveryUnmountPath) {
    const auto share = shareRule("Studio Share", {editor.id}, PostQuitAction::AutoUnmount, 0);
    start(configuration({share}, {editor}));
    launchMounted(editorID, 0);
    // A refresh reports what the service answers; make it look mounted so the manual path picks it.
    refreshWith({Status::mounted()});
    logger->take();

    auto ready = controller->unmountReadyTargets();
    ASSERT_TRUE(ready.isReady());
    EXPECT_EQ(statusOf(share), Status::targetNotFound());
    auto single = controller->unmountRuleSafely(share.id);
    auto quit = terminate(editorID);
    delay.release();

    ASSERT_TRUE(single.isReady() && quit.isReady());
    EXPECT_EQ(logger->lines, (QStringList{
                                 "Manual target unmount skipped unsupported target Studio Share.",
                                 "Manual rule unmount skipped unsupported target Studio Share.",
                                 "App terminated: org.example.editor",
                                 "Auto-unmount skipped unsupported target Studio Share.",
                             }));
    EXPECT_EQ(statusOf(share), Status::targetNotFound());
    EXPECT_EQ(service->callLog(), QStringList{"status Studio Share"});
}

TEST_F(ControllerQuitTest, StaleNetworkShareSkipLeavesTheUpdatedRuleAlone) {
    const auto media = localRule("Media", {editor.id}, PostQuitAction::Off);
    const auto share = shareRule("Studio Share", {editor.id}, PostQuitAction::Off);
    start(configuration({media, share}, {editor}));
    auto holder = controller->unmountRuleSafely(media.id);
    auto waiting = controller->unmountRuleSafely(share.id);

    // While the share's unmount waits, the user points its rule at a local volume.
    auto local = localRule("Footage", {editor.id}, PostQuitAction::Off);
    local.id = share.id;
    auto update = controller->updateConfiguration(configuration({media, local}, {editor}));
    service->answerStatus(Status::notMounted());
    service->answerStatus(Status::notMounted());
    service->answerStatus(Status::mounted());
    ASSERT_TRUE(holder.isReady());
    drainEvents();

    ASSERT_TRUE(waiting.isReady());
    EXPECT_EQ(logger->lines.last(), "Manual rule unmount skipped unsupported target Studio Share.");
    EXPECT_EQ(statusOf(local), Status::mounted());
}

} // namespace
} // namespace tarnwell::testing
