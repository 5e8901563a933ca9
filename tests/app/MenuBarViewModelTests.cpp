#include "ViewModelFixtures.h"
#include "app/MenuBarViewModel.h"
#include "core/model/AppPresetService.h"
#include "support/QtPrinters.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace tarnwell;
using namespace tarnwell::testing;
using Status = StorageTargetRuntimeStatus;
using Color = MenuBarViewModel::StatusColorKind;

TEST(MenuBarViewModel, NothingConfiguredOffersNothing) {
    MenuBarViewModel model(configurationWith({}), {});
    EXPECT_EQ(model.status(), TarnwellStatus::notConfigured());
    EXPECT_EQ(model.statusTitle(), QStringLiteral("Not Configured"));
    EXPECT_EQ(model.statusIcon(), QStringLiteral("gearshape"));
    EXPECT_EQ(model.statusColorKind(), Color::Secondary);
    EXPECT_TRUE(model.targetRows().isEmpty());
    EXPECT_FALSE(model.canMountMissing());
    EXPECT_FALSE(model.canUnmountReady());
    EXPECT_EQ(model.enabledAppSummary(), QStringLiteral("5 apps enabled"));
}

TEST(MenuBarViewModel, TheHeadlineCountsOnlyFromTwoRulesOn) {
    const auto one = configurationWith({localRule(QStringLiteral("A"))});
    MenuBarViewModel single(one, statesFor(one, {Status::mounted()}));
    EXPECT_EQ(single.statusTitle(), QStringLiteral("Mounted"));
    EXPECT_EQ(single.statusColorKind(), Color::Green);

    const auto two = configurationWith({localRule(QStringLiteral("A")), localRule(QStringLiteral("B"))});
    MenuBarViewModel model(two, statesFor(two, {Status::mounted(), Status::notMounted()}));
    EXPECT_EQ(model.statusTitle(), QStringLiteral("1 mounted"));

    model.update(std::nullopt, statesFor(two, {Status::targetNotFound(), Status::mounted()}));
    EXPECT_EQ(model.status(), TarnwellStatus::driveNotFound());
    EXPECT_EQ(model.statusTitle(), QStringLiteral("1 issues"));

    model.update(std::nullopt, statesFor(two, {Status::mountFailed(QStringLiteral("first")),
                                               Status::mountFailed(QStringLiteral("second"))}));
    EXPECT_EQ(model.status(), TarnwellStatus::mountFailed(QStringLiteral("first")));
    EXPECT_EQ(model.statusTitle(), QStringLiteral("2 issues"));
}

TEST(MenuBarViewModel, ItsOwnAggregateRanksNotFoundAboveOperations) {
    const auto configuration = configurationWith(
        {localRule(QStringLiteral("A")), localRule(QStringLiteral("B")), localRule(QStringLiteral("C"))});
    const auto aggregate = [&](QList<Status> statuses) {
        return MenuBarViewModel::aggregateStatus(configuration, statesFor(configuration, statuses));
    };
    EXPECT_EQ(aggregate({Status::mounting(), Status::targetNotFound(), Status::mounted()}),
              TarnwellStatus::driveNotFound());
    EXPECT_EQ(aggregate({Status::unmountFailed(QStringLiteral("u")), Status::mountFailed(QStringLiteral("m")),
                         Status::mounted()}),
              TarnwellStatus::mountFailed(QStringLiteral("m")));
    EXPECT_EQ(aggregate({Status::readyToUnmount(), Status::unmounting(), Status::mounted()}),
              TarnwellStatus::unmounting());
    EXPECT_EQ(aggregate({Status::notMounted(), Status::notConfigured(), Status::notConfigured()}),
              TarnwellStatus::notMounted());
    EXPECT_EQ(aggregate({Status::notMounted(), Status::mounted(), Status::readyToUnmount()}),
              TarnwellStatus::readyToUnmount());
}

TEST(MenuBarViewModel, DisabledRulesAreIgnoredByStatusCountsAndActions) {
    auto configuration =
        configurationWith({localRule(QStringLiteral("On")), localRule(QStringLiteral("Off"), 0, false)});
    MenuBarViewModel model(configuration,
                           statesFor(configuration, {Status::mounting(), Status::targetNotFound()}));
    EXPECT_EQ(model.status(), TarnwellStatus::mounting());
    EXPECT_EQ(model.statusTitle(), QStringLiteral("0 mounted"));
    EXPECT_FALSE(model.canMountMissing());
    EXPECT_FALSE(model.canUnmountReady());
    const auto rows = model.targetRows();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[1].statusTitle, QStringLiteral("Disabled"));

    model.update(std::nullopt, statesFor(configuration, {Status::readyToUnmount(), Status::mounted()}));
    EXPECT_FALSE(model.canMountMissing());
    EXPECT_TRUE(model.canUnmountReady());
}

TEST(MenuBarViewModel, RowsFollowSortOrderStablyAndUseTheStatesNames) {
    auto configuration =
        configurationWith({localRule(QStringLiteral("A"), 2), localRule(QStringLiteral("B"), 0),
                           localRule(QStringLiteral("C"), 0)});
    auto states = statesFor(configuration, {Status::mounted(), Status::targetNotFound()});
    states[1].rule.name = QStringLiteral("B as running");
    states.removeLast(); // C has no state yet
    MenuBarViewModel model(configuration, states);
    const auto rows = model.targetRows();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0],
              (MenuBarViewModel::TargetRow{configuration.storageRules[1].id, QStringLiteral("B as running"),
                                           QStringLiteral("Target Not Found"),
                                           QStringLiteral("questionmark.circle.fill"), Color::Red}));
    EXPECT_EQ(rows[1].title, QStringLiteral("C"));
    EXPECT_EQ(rows[1].statusTitle, QStringLiteral("Not Configured"));
    EXPECT_EQ(rows[2].title, QStringLiteral("A"));
}

TEST(MenuBarViewModel, UpdatesRecomputeOnlyWhenGivenSomething) {
    auto configuration = configurationWith({localRule(QStringLiteral("A"))});
    MenuBarViewModel model(configuration, statesFor(configuration, {Status::notMounted()}));
    QSignalSpy statusSpy(&model, &MenuBarViewModel::statusChanged);
    model.update();
    EXPECT_EQ(statusSpy.count(), 0);

    model.update(std::nullopt, std::nullopt, TarnwellStatus::unmounting());
    EXPECT_EQ(model.status(), TarnwellStatus::unmounting());
    model.update(std::nullopt, statesFor(configuration, {Status::mounted()}));
    EXPECT_EQ(model.status(), TarnwellStatus::mounted());
    EXPECT_EQ(statusSpy.count(), 2);

    configuration.appTriggers = AppPresetService::defaultPresets().mid(0, 1);
    model.update(configuration);
    EXPECT_EQ(model.rule().appTriggers.size(), 1);
    EXPECT_EQ(model.enabledAppSummary(), QStringLiteral("1 app enabled"));
    configuration.appTriggers[0].isEnabled = false;
    model.update(configuration);
    EXPECT_EQ(model.enabledAppSummary(), QStringLiteral("No apps enabled"));
}
