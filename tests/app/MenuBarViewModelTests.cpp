#include "ViewModelFixtures.h"
#include "app/MenuBarViewModel.h"
#include "core/model/AppPresetService.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace tarnwell;
using namespace tarnwell::testing;
using Status = StorageTargetRuntimeStatus;
using Color = MenuBarViewModel::StatusColorKind;

namespace {

// The panel's own aggregate and its headline for enabled rules in the given states.
struct HeadlineCase {
    const char* name;
    QList<Status> statuses;
    TarnwellStatus aggregate;
    const char* title;
};

class MenuBarHeadlineTest : public ::testing::TestWithParam<HeadlineCase> {};

TEST_P(MenuBarHeadlineTest, RanksTheStatesAndCountsFromTwoRulesOn) {
    QList<StorageTargetRule> rules;
    for (qsizetype index = 0; index < GetParam().statuses.size(); ++index) {
        rules.append(localRule(QString::number(index)));
    }
    const auto configuration = configurationWith(rules);
    MenuBarViewModel model(configuration, statesFor(configuration, GetParam().statuses));
    EXPECT_EQ(model.status(), GetParam().aggregate);
    EXPECT_EQ(model.statusTitle(), QString::fromUtf8(GetParam().title));
}

INSTANTIATE_TEST_SUITE_P(
    Table, MenuBarHeadlineTest,
    ::testing::Values(HeadlineCase{"NoRules", {}, TarnwellStatus::notConfigured(), "Not Configured"},
                      HeadlineCase{"OneMounted", {Status::mounted()}, TarnwellStatus::mounted(), "Mounted"},
                      HeadlineCase{"TwoWithOneMounted",
                                   {Status::mounted(), Status::notMounted()},
                                   TarnwellStatus::mounted(),
                                   "1 mounted"},
                      HeadlineCase{"NotFoundOutranksOperations",
                                   {Status::mounting(), Status::targetNotFound(), Status::mounted()},
                                   TarnwellStatus::driveNotFound(),
                                   "1 issue"},
                      HeadlineCase{"FirstMountFailureOutranksUnmountFailure",
                                   {Status::unmountFailed("u"), Status::mountFailed("first"),
                                    Status::mountFailed("second")},
                                   TarnwellStatus::mountFailed("first"),
                                   "3 issues"},
                      HeadlineCase{"UnmountingOutranksReminder",
                                   {Status::readyToUnmount(), Status::unmounting(), Status::mounted()},
                                   TarnwellStatus::unmounting(),
                                   "1 mounted"},
                      HeadlineCase{"ReminderOutranksMounted",
                                   {Status::notMounted(), Status::mounted(), Status::readyToUnmount()},
                                   TarnwellStatus::readyToUnmount(),
                                   "1 mounted"},
                      HeadlineCase{"IdleMixIsNotMounted",
                                   {Status::notMounted(), Status::notConfigured()},
                                   TarnwellStatus::notMounted(),
                                   "0 mounted"}),
    [](const ::testing::TestParamInfo<HeadlineCase>& info) { return std::string(info.param.name); });

} // namespace

TEST(MenuBarViewModel, DisabledRulesAreIgnoredAndRowsFollowSortOrder) {
    auto configuration =
        configurationWith({localRule(QStringLiteral("A"), 2), localRule(QStringLiteral("B"), 0),
                           localRule(QStringLiteral("C"), 0, false)});
    auto states = statesFor(configuration, {Status::mounting(), Status::targetNotFound(), Status::mounted()});
    states[1].rule.name = QStringLiteral("B as running");
    states.removeLast(); // C has no state yet
    MenuBarViewModel model(configuration, states);
    EXPECT_EQ(model.status(), TarnwellStatus::driveNotFound());
    EXPECT_TRUE(model.canMountMissing());
    EXPECT_FALSE(model.canUnmountReady());
    const auto rows = model.targetRows();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0],
              (MenuBarViewModel::TargetRow{configuration.storageRules[1].id, QStringLiteral("B as running"),
                                           QStringLiteral("Target Not Found"),
                                           QStringLiteral("questionmark.circle.fill"), Color::Red}));
    EXPECT_EQ(rows[1].title, QStringLiteral("C"));
    EXPECT_EQ(rows[1].statusTitle, QStringLiteral("Disabled"));
    EXPECT_EQ(rows[2].title, QStringLiteral("A"));

    // A disabled rule counts for nothing, whatever its state.
    model.update(std::nullopt, statesFor(configuration, {Status::readyToUnmount(), Status::notMounted(),
                                                         Status::mountFailed(QStringLiteral("x"))}));
    EXPECT_EQ(model.status(), TarnwellStatus::readyToUnmount());
    EXPECT_EQ(model.statusTitle(), QStringLiteral("0 mounted"));
    EXPECT_TRUE(model.canUnmountReady());
}

TEST(MenuBarViewModel, NothingConfiguredOffersNothingAndUpdatesRecomputeOnlyWhenGivenSomething) {
    MenuBarViewModel model(configurationWith({}), {});
    EXPECT_TRUE(model.targetRows().isEmpty());
    EXPECT_FALSE(model.canMountMissing() || model.canUnmountReady());
    // Presets this machine lacks are not counted.
    EXPECT_EQ(model.enabledAppSummary(), QStringLiteral("No apps enabled"));
    model.setInstalledPresetIdentifiers(
        {QStringLiteral("com.apple.FinalCut"), QStringLiteral("org.kde.kdenlive")});
    EXPECT_EQ(model.enabledAppSummary(), QStringLiteral("2 apps enabled"));

    auto configuration = configurationWith({localRule(QStringLiteral("A"))});
    model.update(configuration, statesFor(configuration, {Status::notMounted()}));
    model.update(std::nullopt, std::nullopt, TarnwellStatus::unmounting());
    model.update();
    EXPECT_EQ(model.status(), TarnwellStatus::unmounting());
    model.update(std::nullopt, statesFor(configuration, {Status::mounted()}));
    EXPECT_EQ(model.status(), TarnwellStatus::mounted());

    configuration.appTriggers = AppPresetService::defaultPresets().mid(0, 1);
    model.update(configuration);
    EXPECT_EQ(model.enabledAppSummary(), QStringLiteral("1 app enabled"));
    configuration.appTriggers[0].isEnabled = false;
    model.update(configuration);
    EXPECT_EQ(model.enabledAppSummary(), QStringLiteral("No apps enabled"));
}
