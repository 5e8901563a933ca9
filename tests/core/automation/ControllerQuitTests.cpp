#include "ControllerTestFixture.h"

#include "support/TaskRunner.h"

namespace tarnwell::testing {
namespace {

using ControllerQuitTest = ControllerTest;

TEST_F(ControllerQuitTest, RemindsOnlyOfMountedTargetsAndOffOnlyRecords) {
    const auto media = rule("Media", {editor.id}, PostQuitAction::Remind);
    const auto footage = rule("Footage", {editor.id}, PostQuitAction::Remind);
    const auto notes = rule("Notes", {editor.id}, PostQuitAction::Off);
    start(configuration({media, footage, notes}, {editor}));
    launchMounted(editorID, 3);

    auto unbound = controller->handleAppTerminated(QStringLiteral("org.example.other"));
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
}

TEST_F(ControllerQuitTest, RulesBoundToTwoAppsActOnceAfterTheLastQuitsEvenWithoutItsNotification) {
    const auto media = rule("Media", {editor.id, cutter.id}, PostQuitAction::Remind);
    const auto footage = rule("Footage", {editor.id, cutter.id}, PostQuitAction::AutoUnmount, 30);
    start(configuration({media, footage}, {editor, cutter}));
    launchMounted(editorID, 2);
    launchMounted(cutterID, 2);

    ASSERT_TRUE(terminate(editorID).isReady());
    EXPECT_EQ(controller->runningBundleIdentifiers(), QSet<QString>{cutterID});
    EXPECT_EQ(logger->take(),
              (QStringList{"App terminated: org.example.editor",
                           "Post-quit action skipped for Media because a bound app is still running.",
                           "Post-quit action skipped for Footage because a bound app is still running."}));
    launchMounted(editorID, 2);

    // The cutter has quit before its notification arrives: one look at the running applications
    // finds both gone, and the rules act once.
    runningNow.clear();
    auto first = controller->handleAppTerminated(editorID);
    auto second = controller->handleAppTerminated(cutterID);
    service->answerStatus(Status::mounted());
    EXPECT_EQ(service->pendingCount(), 0);
    EXPECT_EQ(delay.pendingSeconds(), QList<qint64>{30});
    delay.release();
    service->answerStatus(Status::mounted());
    service->succeed();

    ASSERT_TRUE(first.isReady() && second.isReady());
    EXPECT_TRUE(controller->runningBundleIdentifiers().isEmpty());
    EXPECT_EQ(
        logger->lines,
        (QStringList{"App terminated: org.example.editor", "App terminated: org.example.cutter",
                     "Post-quit action for Media already under way.", "Media is ready to unmount.",
                     "Post-quit action for Footage already under way.", "Auto-unmount unmounted Footage."}));
    EXPECT_EQ(notifier->postedTitles(), (QStringList{"Drive Ready to Unmount", "Drive Unmounted"}));
}

TEST_F(ControllerQuitTest, ImmediateActionsRunInsideTheTerminationAndDelayedUnmountsAfterThemSideBySide) {
    const auto media = rule("Media", {editor.id}, PostQuitAction::AutoUnmount, 0);
    const auto footage = rule("Footage", {editor.id}, PostQuitAction::AutoUnmount, -5);
    const auto rushes = rule("Rushes", {editor.id}, PostQuitAction::AutoUnmount, 30);
    const auto cuts = rule("Cuts", {editor.id}, PostQuitAction::AutoUnmount, 5);
    const auto notes = rule("Notes", {editor.id}, PostQuitAction::Remind);
    start(configuration({media, footage, rushes, cuts, notes}, {editor}));
    launchMounted(editorID, 5);

    auto quit = terminate(editorID);
    delay.release();
    service->answerStatus(Status::mounted());
    EXPECT_EQ(controller->status(), TarnwellStatus::unmounting());
    service->succeed();
    delay.release();
    service->answerStatus(Status::mounted());
    service->fail(
        TarnwellError::commandFailed(1, "Volume Footage on disk5s1 failed to unmount: target is busy"));
    // The reminder of a later rule runs before any delay of a second or more starts.
    EXPECT_TRUE(delay.pendingSeconds().isEmpty());
    service->answerStatus(Status::mounted());
    EXPECT_EQ(delay.pendingSeconds(), (QList<qint64>{30, 5}));
    delay.release(0);
    delay.release(0);
    EXPECT_EQ(service->pendingLog(), QStringList{"status Rushes"});
    service->answerStatus(Status::mounted());
    service->succeed();
    drainEvents();
    service->answerStatus(Status::mounted());
    service->succeed();

    ASSERT_TRUE(quit.isReady());
    // A negative delay waits zero seconds, and even zero is awaited.
    EXPECT_EQ(delay.requests, (QList<qint64>{0, 0, 30, 5}));
    EXPECT_EQ(errorOf(footage), "Volume Footage on disk5s1 failed to unmount: target is busy");
    EXPECT_EQ(logger->lines, (QStringList{
                                 "App terminated: org.example.editor",
                                 "Auto-unmount unmounted Media.",
                                 "Auto-unmount failed to unmount Footage: Volume Footage on disk5s1 failed "
                                 "to unmount: target is busy",
                                 "Notes is ready to unmount.",
                                 "Auto-unmount waiting because another disk operation is in progress.",
                                 "Auto-unmount unmounted Rushes.",
                                 "Auto-unmount unmounted Cuts.",
                             }));
    EXPECT_EQ(notifier->requests.mid(0, 2),
              (QList<Notification>{
                  {"Drive Unmounted", "Media was unmounted.", true},
                  {"Unmount Failed", "Volume Footage on disk5s1 failed to unmount: target is busy", true}}));
}

// A relaunch cancels the delay; the next quit waits a full delay, and an app found running again at
// the unmount step cancels that too. Once the rules are disabled, the app's quit is ignored.
TEST_F(ControllerQuitTest, RunningAgainCancelsTheAutoUnmountAndDisabledRulesIgnoreTheQuit) {
    const auto media = rule("Media", {editor.id}, PostQuitAction::AutoUnmount, 30);
    start(configuration({media}, {editor}));
    launchMounted(editorID);
    auto firstQuit = terminate(editorID);

    runningNow.insert(editorID);
    auto relaunch = controller->handleAppLaunched(editorID);
    service->answerStatus(Status::mounted());
    ASSERT_TRUE(relaunch.isReady());
    drainEvents();
    EXPECT_TRUE(delay.pendingSeconds().isEmpty());
    ASSERT_TRUE(firstQuit.isReady());

    auto lastQuit = terminate(editorID);
    EXPECT_EQ(delay.pendingSeconds(), QList<qint64>{30});
    delay.release();
    // The app comes back, without a launch notification yet, while the status is queried.
    runningNow.insert(editorID);
    service->answerStatus(Status::mounted());
    ASSERT_TRUE(lastQuit.isReady());
    EXPECT_EQ(statusOf(media), Status::mounted());

    ASSERT_TRUE(controller->updateConfiguration(configuration({disabled(media)}, {editor})).isReady());
    EXPECT_TRUE(controller->runningBundleIdentifiers().isEmpty());
    ASSERT_TRUE(terminate(editorID).isReady());
    EXPECT_EQ(logger->lines, (QStringList{
                                 "App terminated: org.example.editor",
                                 "App launched: org.example.editor",
                                 "Auto-unmount cancelled because a bound app is running again.",
                                 "App launch: org.example.editor found Media already mounted.",
                                 "App terminated: org.example.editor",
                                 "Auto-unmount cancelled because bound apps are still running.",
                                 "Drive configuration updated.",
                                 "Drive status: not configured.",
                                 "Ignored termination for unconfigured app: org.example.editor",
                             }));
    EXPECT_EQ(delay.requests, (QList<qint64>{30, 30}));
    EXPECT_EQ(service->callLog, (QStringList{"status Media", "status Media", "status Media"}));
}

// Everyday edits (launch at login, a rule's name, notifications and order, an app's display name, an
// added identifier) keep pending actions and reminders; a new delay ends that rule's pending unmount.
TEST_F(ControllerQuitTest, UpdatesEndOnlyThePendingActionsTheyChange) {
    const auto media = rule("Media", {editor.id}, PostQuitAction::AutoUnmount, 30);
    const auto footage = rule("Footage", {editor.id}, PostQuitAction::AutoUnmount, 30);
    const auto notes = rule("Notes", {editor.id}, PostQuitAction::Remind);
    start(configuration({media, footage, notes}, {editor}));
    launchMounted(editorID, 3);
    auto quit = terminate(editorID);
    service->answerStatus(Status::mounted());

    auto edited = footage;
    edited.name = QStringLiteral("Renamed");
    edited.showNotifications = false;
    edited.sortOrder = 5;
    auto renamedEditor = editor;
    renamedEditor.displayName = QStringLiteral("Editor Studio");
    renamedEditor.bundleIdentifiers.append(QStringLiteral("org.example.editor-studio"));
    auto everyday = configuration({media, edited, notes}, {renamedEditor});
    everyday.launchAtLogin = true;
    auto slower = media;
    slower.unmountDelaySeconds = 45;
    for (const auto& update : {everyday, configuration({slower, edited, notes}, {renamedEditor})}) {
        auto reconciliation = controller->updateConfiguration(update);
        for (int query = 0; query < 3; ++query) {
            service->answerStatus(Status::mounted());
        }
        ASSERT_TRUE(reconciliation.isReady());
        EXPECT_EQ(statusOf(notes), Status::readyToUnmount());
    }
    delay.release(0);
    delay.release(0);
    service->answerStatus(Status::mounted());
    service->succeed();

    ASSERT_TRUE(quit.isReady());
    const QStringList refresh{"Drive configuration updated.", "Drive status for Media: ready to unmount.",
                              "Drive status for Footage: ready to unmount.",
                              "Drive status for Notes: ready to unmount."};
    const QStringList terminated{"App terminated: org.example.editor", "Notes is ready to unmount."};
    const QStringList delays{"Auto-unmount cancelled because the storage rule changed during the delay.",
                             "Auto-unmount unmounted Footage."};
    EXPECT_EQ(logger->lines, terminated + refresh + refresh + delays);
}

TEST_F(ControllerQuitTest, ACollaboratorThatThrowsStillReleasesTheGate) {
    const auto media = rule("Media", {editor.id}, PostQuitAction::Off);
    const auto footage = rule("Footage", {editor.id}, PostQuitAction::Off);
    start(configuration({media, footage}, {editor}));
    runningNow.insert(editorID);

    logger->failOn = QStringLiteral("App launch: org.example.editor mounted Media.");
    auto launch = controller->handleAppLaunched(editorID);
    service->answerStatus(Status::notMounted());
    service->succeed();
    EXPECT_THROW(runTask(std::move(launch)), std::runtime_error);

    logger->failOn = QStringLiteral("Manual rule unmount unmounted Media.");
    auto unmount = controller->unmountRuleSafely(media.id);
    ASSERT_EQ(service->pendingLog(), QStringList{"status Media"});
    service->answerStatus(Status::mounted());
    service->succeed();
    EXPECT_THROW(runTask(std::move(unmount)), std::runtime_error);

    auto mount = controller->mountRule(footage.id);
    ASSERT_EQ(service->pendingLog(), QStringList{"status Footage"});
    service->answerStatus(Status::mounted());
    ASSERT_TRUE(mount.isReady());
    EXPECT_EQ(logger->lines.last(), "Manual rule mount found Footage already mounted.");
}

TEST_F(ControllerQuitTest, ManualUnmountsIgnoreRunningAppsButTakeOnlyMountedTargets) {
    const auto media = rule("Media", {editor.id}, PostQuitAction::Off);
    const auto notes = rule("Notes", {editor.id}, PostQuitAction::Off);
    const auto archive = disabled(rule("Archive", {editor.id}));
    start(configuration({media, rule("Footage", {editor.id}), notes, archive}, {editor}));
    ASSERT_TRUE(controller->unmountReadyTargets().isReady());
    EXPECT_TRUE(logger->lines.isEmpty());
    launchMounted(editorID, 3);
    refreshWith({Status::mounted(), Status::notMounted(), Status::readyToUnmount()});
    logger->take();

    auto refused = controller->unmountRuleSafely(archive.id);
    auto ready = controller->unmountReadyTargets();
    service->answerStatus(Status::notMounted());
    service->answerStatus(Status::mounted());
    service->fail(
        TarnwellError::commandFailed(1, "Volume Notes on disk4s1 failed to unmount: target is busy"));

    ASSERT_TRUE(refused.isReady() && ready.isReady());
    EXPECT_EQ(logger->lines,
              (QStringList{
                  "Manual rule unmount skipped because the storage rule was not found or disabled.",
                  "Manual target unmount skipped because Media is not mounted.",
                  "Manual target unmount failed to unmount Notes: Volume Notes on disk4s1 failed to unmount: "
                  "target is busy",
              }));
    EXPECT_EQ(statusOf(media), Status::notMounted());
    EXPECT_EQ(controller->status(),
              TarnwellStatus::unmountFailed("Volume Notes on disk4s1 failed to unmount: target is busy"));
}

TEST_F(ControllerQuitTest, NetworkShareIsNeverMountedOrUnmounted) {
    const auto shared = share("Studio Share", {editor.id}, PostQuitAction::AutoUnmount);
    start(configuration({shared}, {editor}));
    runningNow.insert(editorID);
    ASSERT_TRUE(controller->handleAppLaunched(editorID).isReady());
    ASSERT_TRUE(controller->mountMissingTargets().isReady());
    ASSERT_TRUE(controller->mountRule(shared.id).isReady());
    EXPECT_EQ(controller->status(), TarnwellStatus::driveNotFound());
    // A refresh reports what the service answers; make it look mounted so the manual path picks it.
    refreshWith({Status::mounted()});
    logger->take();

    ASSERT_TRUE(controller->unmountReadyTargets().isReady());
    EXPECT_EQ(statusOf(shared), Status::targetNotFound());
    ASSERT_TRUE(controller->unmountRuleSafely(shared.id).isReady());
    auto quit = terminate(editorID);
    delay.release();

    ASSERT_TRUE(quit.isReady());
    EXPECT_EQ(logger->lines, (QStringList{
                                 "Manual target unmount skipped unsupported target Studio Share.",
                                 "Manual rule unmount skipped unsupported target Studio Share.",
                                 "App terminated: org.example.editor",
                                 "Auto-unmount skipped unsupported target Studio Share.",
                             }));
    EXPECT_EQ(service->callLog, QStringList{"status Studio Share"});
}

TEST_F(ControllerQuitTest, StaleNetworkShareSkipLeavesTheUpdatedRuleAlone) {
    const auto media = rule("Media", {editor.id}, PostQuitAction::Off);
    const auto shared = share("Studio Share", {editor.id}, PostQuitAction::Off);
    start(configuration({media, shared}, {editor}));
    auto holder = controller->unmountRuleSafely(media.id);
    auto waiting = controller->unmountRuleSafely(shared.id);

    // While the share's unmount waits, the user points its rule at a local volume.
    auto local = rule("Footage", {editor.id}, PostQuitAction::Off);
    local.id = shared.id;
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
