#include "ControllerTestFixture.h"

#include "support/TaskRunner.h"

#include <QTimer>
#include <limits>

namespace tarnwell::testing {
namespace {

// Each case sets the enabled rules to the given statuses through a refresh and reads the aggregate.
struct AggregateCase {
    const char* name;
    QList<Status> statuses;
    TarnwellStatus expected;
};

class AggregateStatusTest : public ControllerTest, public ::testing::WithParamInterface<AggregateCase> {};

TEST_P(AggregateStatusTest, FollowsTheRankingOfEnabledStatuses) {
    QList<StorageTargetRule> rules;
    for (qsizetype index = 0; index < GetParam().statuses.size(); ++index) {
        rules.append(rule(QStringLiteral("Volume %1").arg(index), {editor.id}));
    }
    // A disabled rule is never queried and never counts.
    rules.append(disabled(rule("Disabled", {editor.id})));
    start(configuration(rules, {editor}));
    EXPECT_EQ(controller->status(), TarnwellStatus::notConfigured());

    refreshWith(GetParam().statuses);
    EXPECT_EQ(controller->status(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AggregateStatusTest,
    ::testing::Values(AggregateCase{"NotMountedAndMounted",
                                    {Status::notMounted(), Status::mounted()},
                                    TarnwellStatus::mounted()},
                      AggregateCase{"NotMountedAndNotConfigured",
                                    {Status::notMounted(), Status::notConfigured()},
                                    TarnwellStatus::notConfigured()},
                      AggregateCase{"TwiceNotMounted",
                                    {Status::notMounted(), Status::notMounted()},
                                    TarnwellStatus::notMounted()},
                      AggregateCase{"FirstMountFailureOutranksEarlierUnmountFailure",
                                    {Status::unmountFailed("A"), Status::mountFailed("first"),
                                     Status::mountFailed("second")},
                                    TarnwellStatus::mountFailed("first")},
                      AggregateCase{"UnmountFailureOutranksOperations",
                                    {Status::mounting(), Status::unmountFailed("A")},
                                    TarnwellStatus::unmountFailed("A")},
                      AggregateCase{"MountingOutranksUnmounting",
                                    {Status::unmounting(), Status::mounting()},
                                    TarnwellStatus::mounting()},
                      AggregateCase{"UnmountingOutranksReminder",
                                    {Status::readyToUnmount(), Status::unmounting()},
                                    TarnwellStatus::unmounting()},
                      AggregateCase{"ReminderOutranksNotFound",
                                    {Status::targetNotFound(), Status::readyToUnmount()},
                                    TarnwellStatus::readyToUnmount()},
                      AggregateCase{"NotFoundOutranksMounted",
                                    {Status::mounted(), Status::targetNotFound()},
                                    TarnwellStatus::driveNotFound()}),
    [](const ::testing::TestParamInfo<AggregateCase>& info) { return std::string(info.param.name); });

TEST_F(ControllerTest, LaunchMountsTheBoundRulesInTurnAndMountMissingRetriesTheRest) {
    editor.bundleIdentifiers.append(QStringLiteral("org.example.editor.beta"));
    cutter.isEnabled = false;
    const auto media = rule("Media", {editor.id});
    auto footage = rule("Footage", {editor.id});
    footage.showNotifications = false;
    auto manual = rule("Manual", {editor.id});
    manual.mountOnAppLaunch = false;
    const auto cut = rule("Cut", {cutter.id});
    start(configuration({media, footage, manual, disabled(rule("Archive", {editor.id})), cut},
                        {editor, cutter}));

    // Only enabled triggers bind, and identifiers match exactly.
    for (const QString& identifier : {cutterID, QStringLiteral("ORG.EXAMPLE.EDITOR")}) {
        ASSERT_TRUE(controller->handleAppLaunched(identifier).isReady());
    }
    EXPECT_TRUE(controller->runningBundleIdentifiers().isEmpty());
    auto launch = controller->handleAppLaunched(QStringLiteral("org.example.editor.beta"));
    EXPECT_EQ(controller->runningBundleIdentifiers(), QSet<QString>{"org.example.editor.beta"});
    service->answerStatus(Status::notMounted());
    EXPECT_EQ(controller->status(), TarnwellStatus::mounting());
    service->fail(TarnwellError::mountFailed("no such volume"));
    service->answerStatus(Status::notMounted());
    service->succeed();
    ASSERT_TRUE(launch.isReady());
    EXPECT_EQ(errorOf(media), "Mount failed: no such volume");
    EXPECT_EQ(controller->status(), TarnwellStatus::mountFailed("Mount failed: no such volume"));

    // The manual path takes every enabled rule that may be mounted, bound or not, and clears the error.
    auto missing = controller->mountMissingTargets();
    service->answerStatus(Status::notMounted());
    service->succeed();
    service->answerStatus(Status::mounted());
    service->answerStatus(Status::mounted());
    ASSERT_TRUE(missing.isReady());

    EXPECT_EQ(logger->lines,
              (QStringList{
                  "Ignored launch for unconfigured app: org.example.cutter",
                  "Ignored launch for unconfigured app: ORG.EXAMPLE.EDITOR",
                  "App launched: org.example.editor.beta",
                  "App launch: org.example.editor.beta failed to mount Media: Mount failed: no such volume",
                  "App launch: org.example.editor.beta mounted Footage.",
                  "Manual mount missing targets mounted Media.",
                  "Manual mount missing targets found Manual already mounted.",
                  "Manual mount missing targets found Cut already mounted.",
              }));
    EXPECT_EQ(service->callLog, (QStringList{"status Media", "mount Media", "status Footage", "mount Footage",
                                             "status Media", "mount Media", "status Manual", "status Cut"}));
    // The rule's own switch travels with the request; the notifier decides not to post.
    EXPECT_EQ(notifier->requests, (QList<Notification>{{"Mount Failed", "Mount failed: no such volume", true},
                                                       {"Drive Mounted", "Footage was mounted.", false},
                                                       {"Drive Mounted", "Media was mounted.", true}}));
    EXPECT_EQ(statusOf(media), Status::mounted());
    EXPECT_EQ(errorOf(media), std::nullopt);
    EXPECT_EQ(controller->status(), TarnwellStatus::mounted());
}

TEST_F(ControllerTest, ManualMountSkipsMissingAndDisabledRulesAndAHeldGate) {
    const auto media = rule("Media", {editor.id});
    const auto footage = rule("Footage", {editor.id});
    const auto archive = disabled(rule("Archive", {editor.id}));
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
    EXPECT_EQ(service->callLog, QStringList{"status Media"});
}

// An update arrives while a manual mount or unmount of Media is suspended in its status query or its
// command. An update that changed the rule drops the result; one that left it as it was does not.
struct MidOperationCase {
    const char* name;
    bool unmount;
    bool updateDuringCommand;
    bool ruleChanged;
    bool commandFails;
    const char* line;
};

class MidOperationUpdateTest : public ControllerTest,
                               public ::testing::WithParamInterface<MidOperationCase> {};

TEST_P(MidOperationUpdateTest, DropsTheResultOnlyWhenTheRuleChanged) {
    const auto& param = GetParam();
    const auto media = rule("Media", {editor.id});
    start(configuration({media}, {editor}));
    auto operation =
        param.unmount ? controller->unmountRuleSafely(media.id) : controller->mountRule(media.id);
    const auto found = param.unmount ? Status::mounted() : Status::notMounted();
    if (param.updateDuringCommand) {
        service->answerStatus(found);
    }
    // A new name changes nothing the operation does; a new delay does.
    auto changed = media;
    changed.name = QStringLiteral("Renamed");
    changed.unmountDelaySeconds = param.ruleChanged ? 99 : media.unmountDelaySeconds;
    auto update = configuration({changed}, {editor});
    update.launchAtLogin = true;
    ASSERT_TRUE(controller->updateConfiguration(update).isReady());
    if (!param.updateDuringCommand) {
        service->answerStatus(found);
    } else if (param.commandFails) {
        service->fail(TarnwellError::driveNotFound());
    } else {
        service->succeed();
    }
    service->answerStatus(Status::mounted()); // the owed reconciliation refreshes

    ASSERT_TRUE(operation.isReady());
    EXPECT_EQ(
        logger->lines,
        (QStringList{"Drive configuration updated.",
                     "Rule reconciliation queued until the current disk operation completes.", param.line,
                     "Reconciling pending rule update.", "Drive status for Media: mounted."}));
    EXPECT_EQ(notifier->requests.size(), param.ruleChanged ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MidOperationUpdateTest,
    ::testing::Values(
        MidOperationCase{
            "MountStatus", false, false, true, false,
            "Manual rule mount cancelled because the storage rule changed during target checks."},
        MidOperationCase{"MountResult", false, true, true, false,
                         "Manual rule mount mount result ignored because the storage rule changed."},
        MidOperationCase{"MountFailure", false, true, true, true,
                         "Manual rule mount mount failure ignored because the storage rule changed."},
        MidOperationCase{"UnrelatedUpdateKeepsTheMount", false, true, false, false,
                         "Manual rule mount mounted Media."},
        MidOperationCase{
            "UnmountStatus", true, false, true, false,
            "Manual rule unmount cancelled because the storage rule changed during target checks."},
        MidOperationCase{"UnmountResult", true, true, true, false,
                         "Manual rule unmount result ignored because the storage rule changed."},
        MidOperationCase{"UnmountFailure", true, true, true, true,
                         "Manual rule unmount failure ignored because the storage rule changed."},
        MidOperationCase{"UnrelatedUpdateKeepsTheUnmountFailure", true, true, false, true,
                         "Manual rule unmount failed to unmount Media: Drive was not found."}),
    [](const ::testing::TestParamInfo<MidOperationCase>& info) { return std::string(info.param.name); });

TEST_F(ControllerTest, LaunchDuringAnUnmountIsReconciledBeforeTheWaitersWhichResumeInArrivalOrder) {
    const auto media = rule("Media", {editor.id});
    const auto footage = rule("Footage", {cutter.id});
    const auto archive = rule("Archive", {});
    const auto notes = rule("Notes", {});
    start(configuration({media, footage, archive, notes}, {editor, cutter}));

    auto unmount = controller->unmountRuleSafely(media.id);
    auto waiter = controller->unmountRuleSafely(archive.id);
    auto lastWaiter = controller->unmountRuleSafely(notes.id);
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
    // Released waiters resume from the event loop, once the releasing operation has finished.
    ASSERT_TRUE(unmount.isReady());
    EXPECT_EQ(service->pendingCount(), 0);
    for (const auto* name : {"Archive", "Notes"}) {
        drainEvents();
        EXPECT_EQ(service->pendingLog(), QStringList{QStringLiteral("status ") + name});
        service->answerStatus(Status::notMounted());
    }

    ASSERT_TRUE(waiter.isReady() && lastWaiter.isReady());
    const QString waiting = "Manual rule unmount waiting because another disk operation is in progress.";
    EXPECT_EQ(logger->lines,
              (QStringList{
                  waiting,
                  waiting,
                  "App launched: org.example.cutter",
                  "App launch: org.example.cutter skipped because unmounting is already in progress.",
                  "Rule reconciliation queued until the current disk operation completes.",
                  "App launched: org.example.cutter",
                  "App launch: org.example.cutter skipped because unmounting is already in progress.",
                  "Manual rule unmount unmounted Media.",
                  "Reconciling pending rule update.",
                  "Pending rule update mounted Footage.",
                  waiting,
                  "Manual rule unmount skipped because Archive is not mounted.",
                  "Manual rule unmount skipped because Notes is not mounted.",
              }));
    EXPECT_EQ(notifier->postedTitles(), (QStringList{"Drive Unmounted", "Drive Mounted"}));
}

TEST_F(ControllerTest, UpdatesDuringAnUnmountReconcileOnceWithTheLastAndKeepTheUnchangedRulesResult) {
    const auto media = rule("Media", {editor.id}, PostQuitAction::AutoUnmount, 30);
    const auto footage = rule("Footage", {cutter.id});
    start(configuration({media}, {editor, cutter}));
    launchMounted(editorID);
    auto quit = terminate(editorID);
    delay.release();
    service->answerStatus(Status::mounted());

    for (const auto& update : {configuration({media}, {editor, cutter}), configuration({media}, {editor}),
                               configuration({media, footage}, {editor, cutter})}) {
        ASSERT_TRUE(controller->updateConfiguration(update).isReady());
    }
    EXPECT_EQ(controller->ruleRevision(), 3);
    EXPECT_EQ(statusOf(media), Status::unmounting());
    service->succeed();
    service->answerStatus(Status::notMounted());
    service->answerStatus(Status::mounted());

    ASSERT_TRUE(quit.isReady());
    EXPECT_EQ(logger->lines, (QStringList{
                                 "App terminated: org.example.editor",
                                 "Drive configuration updated.",
                                 "Rule reconciliation queued until the current disk operation completes.",
                                 "Drive configuration updated.",
                                 "Drive configuration updated.",
                                 "Auto-unmount unmounted Media.",
                                 "Reconciling pending rule update.",
                                 "Drive status for Media: not configured.",
                                 "Drive status for Footage: mounted.",
                             }));
    EXPECT_EQ(statusOf(media), Status::notMounted());
}

TEST_F(ControllerTest, UpdatesRefreshWithoutRunningAppsAndMountTheRunningAppsRules) {
    const auto media = rule("Media", {editor.id});
    const auto shared = share("Studio Share", {editor.id}, PostQuitAction::Off);
    start(configuration({}, {editor, cutter}));

    auto first =
        controller->updateConfiguration(configuration({media, disabled(rule("Off", {})), shared}, {editor}));
    EXPECT_EQ(controller->targetStates().size(), 3);
    service->answerStatus(Status::mounted());
    service->answerStatus(Status::targetNotFound());
    ASSERT_TRUE(first.isReady());

    runningNow = {editorID, QStringLiteral("org.example.other")};
    auto manual = rule("Manual", {editor.id});
    manual.mountOnAppLaunch = false;
    auto second = controller->updateConfiguration(
        configuration({media, rule("Footage", {cutter.id}), manual}, {editor, cutter}));
    EXPECT_EQ(controller->runningBundleIdentifiers(), QSet<QString>{editorID});
    service->answerStatus(Status::notMounted());
    service->succeed();
    ASSERT_TRUE(second.isReady());
    EXPECT_EQ(statusOf(manual), Status::notConfigured());

    for (const auto& rules : {QList<StorageTargetRule>{}, QList<StorageTargetRule>{disabled(media)}}) {
        ASSERT_TRUE(controller->updateConfiguration(configuration(rules, {editor})).isReady());
        EXPECT_EQ(controller->status(), TarnwellStatus::notConfigured());
    }
    EXPECT_EQ(logger->lines, (QStringList{
                                 "Drive configuration updated.",
                                 "Drive status for Media: mounted.",
                                 "Drive status for Studio Share: drive not found.",
                                 "Drive configuration updated.",
                                 "Configuration update mounted Media.",
                                 "Drive configuration updated.",
                                 "Drive status: not configured.",
                                 "Drive configuration updated.",
                                 "Drive status: not configured.",
                             }));
    EXPECT_EQ(service->callLog,
              (QStringList{"status Media", "status Studio Share", "status Media", "mount Media"}));
}

TEST_F(ControllerTest, RefreshIgnoresOnlyTheRulesThatChangedUnderIt) {
    const auto media = rule("Media", {editor.id});
    const auto footage = rule("Footage", {editor.id});
    start(configuration({media, footage}, {editor}));

    auto refresh = controller->refreshDriveStatus();
    auto delayed = footage;
    delayed.unmountDelaySeconds = 99;
    auto update = controller->updateConfiguration(configuration({media, delayed}, {editor}));
    service->answerStatus(Status::mounted(), 0);
    EXPECT_EQ(service->pendingLog(), (QStringList{"status Media", "status Footage"}));
    service->answerStatus(Status::mounted(), 1);
    ASSERT_TRUE(refresh.isReady());
    service->answerStatus(Status::notMounted());
    service->answerStatus(Status::notMounted());

    ASSERT_TRUE(update.isReady());
    EXPECT_EQ(logger->lines, (QStringList{
                                 "Drive configuration updated.",
                                 "Drive status for Media: mounted.",
                                 "Drive status ignored because the storage rule changed.",
                                 "Drive status for Media: not configured.",
                                 "Drive status for Footage: not mounted.",
                             }));
}

// A status read before a mount finished, or while an unmount ran, would show the volume as it was;
// the answers for other targets read meanwhile still count.
TEST_F(ControllerTest, RefreshAnswersThatOverlapADiskOperationLeaveItsResult) {
    const auto media = rule("Media", {editor.id});
    const auto footage = rule("Footage", {cutter.id});
    for (const bool answerAfterTheMount : {true, false}) {
        controller.reset();
        start(configuration({media, footage}, {editor, cutter}));
        auto refresh = controller->refreshDriveStatus();
        runningNow.insert(editorID);
        auto launch = controller->handleAppLaunched(editorID);
        service->answerStatus(Status::notMounted(), 1);
        if (answerAfterTheMount) {
            service->succeed(1);
            ASSERT_TRUE(launch.isReady());
        }
        service->answerStatus(Status::notMounted(), 0);
        service->answerStatus(Status::notMounted(), answerAfterTheMount ? 0 : 1);
        ASSERT_TRUE(refresh.isReady());
        EXPECT_EQ(statusOf(footage), Status::notMounted());
        if (!answerAfterTheMount) {
            EXPECT_EQ(statusOf(media), Status::mounting());
            service->succeed();
        }
        EXPECT_EQ(statusOf(media), Status::mounted());
        const QStringList lines = logger->take();
        EXPECT_TRUE(lines.contains("Drive status for Media ignored because a disk operation ran meanwhile."));
        EXPECT_FALSE(
            lines.contains("Drive status for Footage ignored because a disk operation ran meanwhile."));
        runningNow.clear();
    }
    refreshWith({Status::notMounted(), Status::notMounted()});
    EXPECT_EQ(statusOf(media), Status::notMounted());
}

TEST_F(ControllerTest, DestroyingTheControllerEndsSuspendedWorkQuietly) {
    const auto media = rule("Media", {editor.id}, PostQuitAction::AutoUnmount, 30);
    const auto footage = rule("Footage", {cutter.id});
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

TEST(TimerDelayTest, WaitsOnTheEventLoopAndEndsEarlyOnStop) {
    // Zero seconds still waits for the event loop instead of returning inline.
    auto zero = TarnwellController::timerDelay(0, {});
    EXPECT_FALSE(zero.isReady());
    runTask(std::move(zero), std::chrono::seconds(2));

    std::stop_source stop;
    QTimer::singleShot(20, [&stop] { stop.request_stop(); });
    // Far more seconds than a timer interval holds; the wait is sliced and still honours the stop.
    runTask(TarnwellController::timerDelay(std::numeric_limits<qint64>::max(), stop.get_token()),
            std::chrono::seconds(5));
}

} // namespace
} // namespace tarnwell::testing
