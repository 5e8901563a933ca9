#include "ControllerTestFixture.h"

#include "core/support/Observe.h"
#include "support/TaskRunner.h"

#include <QTimer>
#include <QVariant>
#include <limits>

namespace tarnwell::testing {
namespace {

using ControllerStateTest = ControllerTest;

TEST_F(ControllerStateTest, StartsUntouchedAndBindsRulesOnlyThroughEnabledTriggersAndRules) {
    editor.bundleIdentifiers.append(QStringLiteral("org.example.editor.beta"));
    cutter.isEnabled = false;
    const auto disabledRule = disabled(localRule("Archive", {editor.id}));
    const auto media = localRule("Media", {editor.id, cutter.id});
    const auto footage = localRule("Footage", {cutter.id});
    start(configuration({media, disabledRule, footage}, {editor, cutter}));

    EXPECT_EQ(controller->status(), TarnwellStatus::notConfigured());
    ASSERT_EQ(controller->targetStates().size(), 3);
    EXPECT_EQ(controller->targetStates()[0],
              (StorageTargetState{media, Status::notConfigured(), std::nullopt}));
    EXPECT_EQ(controller->targetStates()[1].rule, disabledRule);
    EXPECT_FALSE(controller->state(QUuid::createUuid()).has_value());
    EXPECT_TRUE(controller->runningBundleIdentifiers().isEmpty());
    EXPECT_EQ(controller->ruleRevision(), 0);
    EXPECT_TRUE(service->callLog().isEmpty());
    EXPECT_TRUE(logger->lines.isEmpty());

    EXPECT_EQ(controller->enabledAppTriggers(), QList<AppTrigger>{editor});
    EXPECT_EQ(controller->bundleIdentifiers(media),
              (QSet<QString>{editorID, QStringLiteral("org.example.editor.beta")}));
    EXPECT_TRUE(controller->bundleIdentifiers(footage).isEmpty());
    EXPECT_EQ(controller->rulesBoundTo(editorID), QList<StorageTargetRule>{media});
    EXPECT_TRUE(controller->rulesBoundTo(cutterID).isEmpty());
    EXPECT_TRUE(controller->rulesBoundTo(QStringLiteral("ORG.EXAMPLE.EDITOR")).isEmpty());
    EXPECT_EQ(controller->boundBundleIdentifiers(),
              (QSet<QString>{editorID, QStringLiteral("org.example.editor.beta")}));
}

TEST_F(ControllerStateTest, RuleStaysCurrentOnlyWhileItsIdentityTargetTriggersAndFlagsStand) {
    const auto media = localRule("Media", {editor.id});
    start(configuration({media}, {editor}));
    EXPECT_TRUE(controller->isCurrentStorageRule(media, 0));
    EXPECT_FALSE(controller->isCurrentStorageRule(media, 1));

    auto cosmetic = media;
    cosmetic.name = "Renamed";
    cosmetic.postQuitAction = PostQuitAction::AutoUnmount;
    cosmetic.unmountDelaySeconds = 99;
    cosmetic.showNotifications = false;
    cosmetic.sortOrder = 7;
    EXPECT_TRUE(controller->isCurrentStorageRule(cosmetic, 0));

    auto otherTarget = media;
    otherTarget.target = LocalVolumeTarget{"Media", "OTHER-UUID", {}, {}, {}, {}, true};
    auto otherTriggers = media;
    otherTriggers.appTriggerIDs.append(QUuid::createUuid());
    auto noMount = media;
    noMount.mountOnAppLaunch = false;
    auto otherRule = media;
    otherRule.id = QUuid::createUuid();
    for (const auto& changed : {otherTarget, otherTriggers, disabled(media), noMount, otherRule}) {
        EXPECT_FALSE(controller->isCurrentStorageRule(changed, 0));
    }
}

// Each case sets the enabled rules to the given statuses through a refresh and reads the aggregate.
struct AggregateCase {
    const char* name;
    QList<Status> statuses;
    TarnwellStatus expected;
};

void PrintTo(const AggregateCase& aggregateCase, std::ostream* stream) {
    *stream << aggregateCase.name;
}

class AggregateStatusTest : public ControllerTest, public ::testing::WithParamInterface<AggregateCase> {};

TEST_P(AggregateStatusTest, FollowsTheRankingOfEnabledStatuses) {
    QList<StorageTargetRule> rules;
    for (qsizetype index = 0; index < GetParam().statuses.size(); ++index) {
        rules.append(localRule(QStringLiteral("Volume %1").arg(index), {editor.id}));
    }
    // A disabled rule is never queried and never counts.
    rules.append(disabled(localRule("Disabled", {editor.id})));
    start(configuration(rules, {editor}));

    refreshWith(GetParam().statuses);
    EXPECT_EQ(controller->status(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AggregateStatusTest,
    ::testing::Values(
        AggregateCase{
            "NotMountedAndMounted", {Status::notMounted(), Status::mounted()}, TarnwellStatus::mounted()},
        AggregateCase{"NotMountedAndNotConfigured",
                      {Status::notMounted(), Status::notConfigured()},
                      TarnwellStatus::notConfigured()},
        AggregateCase{
            "TwiceNotMounted", {Status::notMounted(), Status::notMounted()}, TarnwellStatus::notMounted()},
        AggregateCase{"MountFailureOutranksEarlierUnmountFailure",
                      {Status::mounted(), Status::unmountFailed("A"), Status::mountFailed("B")},
                      TarnwellStatus::mountFailed("B")},
        AggregateCase{"FirstMountFailureWins",
                      {Status::mountFailed("first"), Status::mountFailed("second")},
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
                      TarnwellStatus::driveNotFound()},
        AggregateCase{"OnlyNotConfigured", {Status::notConfigured()}, TarnwellStatus::notConfigured()}),
    [](const ::testing::TestParamInfo<AggregateCase>& info) { return std::string(info.param.name); });

TEST_F(ControllerStateTest, PublishesEveryWriteToSubscribers) {
    start(configuration({localRule("Media", {editor.id})}, {editor}));
    QList<QList<StorageTargetState>> publishedStates;
    observe(controller.get(), &TarnwellController::targetStatesChanged, &TarnwellController::targetStates,
            [&publishedStates](const QList<StorageTargetState>& states) { publishedStates.append(states); });
    QList<TarnwellStatus> observedStatuses;
    observe(controller.get(), &TarnwellController::statusChanged, &TarnwellController::status,
            [&observedStatuses](const TarnwellStatus& status) { observedStatuses.append(status); });

    refreshWith({Status::mounted()});
    refreshWith({Status::mounted()});

    // The current value first, then the status write and the message write of each refresh.
    ASSERT_EQ(publishedStates.size(), 5);
    EXPECT_EQ(publishedStates[1][0].status, Status::mounted());
    // Unchanged values are published again.
    EXPECT_EQ(observedStatuses,
              (QList<TarnwellStatus>{TarnwellStatus::notConfigured(), TarnwellStatus::mounted(),
                                     TarnwellStatus::mounted()}));
    EXPECT_EQ(controller->property("status").value<TarnwellStatus>(), TarnwellStatus::mounted());
    EXPECT_EQ(controller->property("targetStates").value<QList<StorageTargetState>>(),
              controller->targetStates());
}

TEST(TimerDelayTest, WaitsOnTheEventLoopAndEndsEarlyOnStop) {
    // Zero seconds still waits for the event loop instead of returning inline.
    auto zero = TarnwellController::timerDelay(0, {});
    EXPECT_FALSE(zero.isReady());
    runTask(std::move(zero), std::chrono::seconds(2));

    std::stop_source stop;
    QTimer::singleShot(20, [&stop] { stop.request_stop(); });
    const auto started = std::chrono::steady_clock::now();
    // Far more seconds than a timer interval holds; the wait is sliced and still honours the stop.
    runTask(TarnwellController::timerDelay(std::numeric_limits<qint64>::max(), stop.get_token()),
            std::chrono::seconds(5));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

} // namespace
} // namespace tarnwell::testing
