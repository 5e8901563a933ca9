#include "ViewModelFixtures.h"
#include "app/DashboardViewModel.h"
#include "support/QtPrinters.h"

#include <QLocale>
#include <gtest/gtest.h>

using namespace tarnwell;
using namespace tarnwell::testing;
using Status = StorageTargetRuntimeStatus;

TEST(DashboardViewModel, AnEmptyConfigurationShowsTheFirstStepsAndRunningAppsAreNamedByTriggersThenPresets) {
    const AppTrigger custom{
        QUuid::createUuid(), "My Resolve", {"com.blackmagic-design.DaVinciResolve"}, true, false, {}};
    DashboardViewModel model(configurationWith({}, {custom}), {}, {}, {});
    EXPECT_EQ(model.targetSummary(), QStringLiteral("0 targets / 0 mounted"));
    EXPECT_EQ(model.safetySummary(), QStringLiteral("All safe"));
    EXPECT_EQ(model.safetyIcon(), QStringLiteral("checkmark.shield.fill"));
    EXPECT_EQ(model.recentEventMessage(), QStringLiteral("No recent events"));
    EXPECT_EQ(model.recentEventTime(), std::nullopt);
    EXPECT_EQ(model.runningAppsSummary(), QStringLiteral("No apps running"));

    model.update(std::nullopt, std::nullopt, QSet<QString>{"com.blackmagic-design.DaVinciResolve"});
    EXPECT_EQ(model.runningAppsSummary(), QStringLiteral("My Resolve running"));
    model.update(std::nullopt, std::nullopt,
                 QSet<QString>{"com.adobe.PremierePro", "com.adobe.PremierePro.24", "org.unknown.editor"});
    EXPECT_EQ(model.runningAppsSummary(), QStringLiteral("3 apps running"));
    model.update(std::nullopt, std::nullopt, QSet<QString>{"org.unknown.editor"});
    EXPECT_EQ(model.runningAppsSummary(), QStringLiteral("org.unknown.editor running"));
    model.update(configurationWith({localRule(QStringLiteral("A"))}));
    EXPECT_TRUE(model.onboardingSteps().isEmpty());
    // Counted texts take the singular through the translators, as other languages' plurals would.
    EXPECT_EQ(model.targetSummary(), QStringLiteral("1 target / 0 mounted"));
    model.update(std::nullopt, std::nullopt, QSet<QString>{"a", "b"});
    EXPECT_EQ(model.runningAppsSummary(), QStringLiteral("2 apps running"));

    // The latest event is what happened and when; the whole line stays available.
    const QString line = QStringLiteral("[2026-12-07 18:04:05 +0000] Manual rule mount mounted Archive.");
    model.update(std::nullopt, std::nullopt, std::nullopt, QStringList{QStringLiteral("older"), line});
    EXPECT_EQ(model.recentEventText(), line);
    EXPECT_EQ(model.recentEventMessage(), QStringLiteral("Manual rule mount mounted Archive."));
    const QDateTime moment(QDate(2026, 12, 7), QTime(18, 4, 5), Qt::UTC);
    EXPECT_EQ(model.recentEventTime(), moment);
    EXPECT_EQ(DashboardViewModel::relativeTime(moment, moment.addSecs(59)), QStringLiteral("Just now"));
    EXPECT_EQ(DashboardViewModel::relativeTime(moment, moment.addSecs(150)), QStringLiteral("2 min ago"));
    EXPECT_EQ(DashboardViewModel::relativeTime(moment, moment.addDays(3)),
              QLocale().toString(moment.toLocalTime(), QLocale::ShortFormat));
}

TEST(DashboardViewModel, RowsOfferActionsByStatusAndErrorsOutrankReminders) {
    auto ready = localRule(QStringLiteral("Ready"), 1);
    ready.postQuitAction = PostQuitAction::AutoUnmount;
    ready.unmountDelaySeconds = 42;
    auto busy = localRule(QStringLiteral("Busy"), 0);
    busy.postQuitAction = PostQuitAction::Off;
    const AppTrigger zed{QUuid::createUuid(), "Zed", {}, false, false, {}};
    const AppTrigger alpha{QUuid::createUuid(), "Alpha", {}, true, false, {}};
    ready.appTriggerIDs = {zed.id, alpha.id};
    const auto configuration = configurationWith(
        {ready, busy, localRule(QStringLiteral("Off"), 2, false), localRule("Lost", 3)}, {zed, alpha});
    auto states = statesFor(configuration, {Status::readyToUnmount(), Status::mounting(),
                                            Status::mountFailed("x"), Status::readyToUnmount()});
    states[2].lastErrorMessage = QStringLiteral("disabled rule's error");
    DashboardViewModel model(configuration, states, {}, {QStringLiteral("old"), QStringLiteral("newest")});

    const auto rows = model.storageRows();
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0].title, QStringLiteral("Busy"));
    EXPECT_FALSE(rows[0].canMount || rows[0].canUnmount);
    EXPECT_EQ(rows[0].policySummary, QStringLiteral("Manual only"));
    EXPECT_EQ(rows[0].appSummary, QStringLiteral("No apps bound"));
    EXPECT_TRUE(rows[1].canMount && rows[1].canUnmount);
    EXPECT_EQ(rows[1].appSummary, QStringLiteral("Alpha, Zed"));
    EXPECT_EQ(rows[1].policySummary, QStringLiteral("Auto-unmount after 42 seconds"));
    auto brief = ready;
    brief.unmountDelaySeconds = 1;
    EXPECT_EQ(DashboardViewModel(configurationWith({brief}), {}, {}, {}).storageRows().value(0).policySummary,
              QStringLiteral("Auto-unmount after 1 second"));
    EXPECT_FALSE(rows[2].canMount || rows[2].canUnmount || rows[2].isEnabled);
    EXPECT_EQ(model.safetySummary(), QStringLiteral("2 ready to unmount"));
    // Anything but "All safe" is told as a warning, never under the shield.
    EXPECT_EQ(model.safetyCaption(), QStringLiteral("Needs attention"));
    EXPECT_EQ(model.safetyIcon(), QStringLiteral("exclamationmark.triangle.fill"));
    EXPECT_EQ(model.safetyColorKind(), MenuBarViewModel::StatusColorKind::Orange);
    EXPECT_EQ(model.recentErrorText(), QStringLiteral("No recent errors"));
    EXPECT_EQ(model.recentEventText(), QStringLiteral("newest"));

    // A drive found missing by a refresh leaves no message; the rule is named all the same.
    states[3] = {configuration.storageRules[3], Status::targetNotFound(), std::nullopt};
    model.update(std::nullopt, states);
    EXPECT_EQ(model.safetySummary(), QStringLiteral("1 error"));
    EXPECT_EQ(model.recentErrorText(), QStringLiteral("The drive of Lost cannot be found"));
    states[3].lastErrorMessage = QStringLiteral("gone");
    model.update(std::nullopt, states);
    EXPECT_EQ(model.recentErrorText(), QStringLiteral("gone"));
    states[0].status = Status::unmountFailed("a");
    states[1].status = Status::mounted();
    model.update(std::nullopt, states);
    EXPECT_EQ(model.safetySummary(), QStringLiteral("2 errors"));
    EXPECT_EQ(model.targetSummary(), QStringLiteral("4 targets / 1 mounted"));
}

// The refresh chip says how old the picture is, not that it is new.
TEST(DashboardViewModel, TheCheckTimeReadsAsItsAge) {
    DashboardViewModel model({}, {}, {}, {});
    const QDateTime checked(QDate(2026, 12, 7), QTime(14, 5));
    EXPECT_EQ(model.statusCheckedText(checked), QStringLiteral("Checking drives…"));
    model.setStatusCheckedAt(checked);
    EXPECT_EQ(model.statusCheckedText(checked.addSecs(59)), QStringLiteral("Updated just now"));
    EXPECT_EQ(model.statusCheckedText(checked.addSecs(5 * 60 + 10)), QStringLiteral("Updated 5 min ago"));
    EXPECT_EQ(model.statusCheckedText(checked.addSecs(2 * 3600)),
              QStringLiteral("Updated at ") + QLocale().toString(QTime(14, 5), QLocale::ShortFormat));
}
