#include "ViewModelFixtures.h"
#include "app/DashboardViewModel.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace tarnwell;
using namespace tarnwell::testing;
using Status = StorageTargetRuntimeStatus;

TEST(DashboardViewModel, AnEmptyConfigurationShowsTheFirstSteps) {
    DashboardViewModel model(configurationWith({}), {}, {}, {});
    EXPECT_EQ(model.targetSummary(), QStringLiteral("0 targets / 0 mounted"));
    EXPECT_TRUE(model.storageRows().isEmpty());
    EXPECT_EQ(model.safetySummary(), QStringLiteral("All safe"));
    EXPECT_EQ(model.recentEventText(), QStringLiteral("No recent events"));
    EXPECT_EQ(model.recentErrorText(), QStringLiteral("No recent errors"));
    EXPECT_EQ(model.runningAppsSummary(), QStringLiteral("No apps running"));
    EXPECT_EQ(model.emptyStateSteps(),
              (QStringList{QStringLiteral("Add your first media drive"), QStringLiteral("Bind editing apps"),
                           QStringLiteral("Choose a safe quit behavior")}));
    model.update(configurationWith({localRule(QStringLiteral("A"))}));
    EXPECT_TRUE(model.onboardingSteps().isEmpty());
}

TEST(DashboardViewModel, RunningApplicationsAreNamedByTriggersThenPresets) {
    AppTrigger custom{QUuid::createUuid(),
                      QStringLiteral("My Resolve"),
                      {QStringLiteral("com.blackmagic-design.DaVinciResolve")},
                      true,
                      false,
                      std::nullopt};
    DashboardViewModel model(configurationWith({}, {custom}), {},
                             {QStringLiteral("com.blackmagic-design.DaVinciResolve")}, {});
    EXPECT_EQ(model.runningAppsSummary(), QStringLiteral("My Resolve running"));

    model.update(std::nullopt, std::nullopt,
                 QSet<QString>{QStringLiteral("com.adobe.PremierePro"),
                               QStringLiteral("com.adobe.PremierePro.24"),
                               QStringLiteral("org.unknown.editor")});
    EXPECT_EQ(model.runningAppsSummary(), QStringLiteral("3 apps running"));
    model.update(std::nullopt, std::nullopt, QSet<QString>{QStringLiteral("org.unknown.editor")});
    EXPECT_EQ(model.runningAppsSummary(), QStringLiteral("org.unknown.editor running"));
}

TEST(DashboardViewModel, RowsOfferActionsByStatusAndDisabledRulesStayOut) {
    auto ready = localRule(QStringLiteral("Ready"), 1);
    ready.postQuitAction = PostQuitAction::AutoUnmount;
    ready.unmountDelaySeconds = 42;
    auto mounting = localRule(QStringLiteral("Busy"), 0);
    mounting.postQuitAction = PostQuitAction::Off;
    auto disabled = localRule(QStringLiteral("Off"), 2, false);
    AppTrigger zed{QUuid::createUuid(), QStringLiteral("Zed"), {}, false, false, std::nullopt};
    AppTrigger alpha{QUuid::createUuid(), QStringLiteral("Alpha"), {}, true, false, std::nullopt};
    ready.appTriggerIDs = {zed.id, alpha.id};
    const auto configuration = configurationWith({ready, mounting, disabled}, {zed, alpha});
    auto states = statesFor(configuration, {Status::readyToUnmount(), Status::mounting(),
                                            Status::mountFailed(QStringLiteral("x"))});
    states[2].lastErrorMessage = QStringLiteral("disabled rule's error");
    DashboardViewModel model(configuration, states, {}, {QStringLiteral("old"), QStringLiteral("newest")});

    const auto rows = model.storageRows();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0].title, QStringLiteral("Busy"));
    EXPECT_FALSE(rows[0].canMount || rows[0].canUnmount);
    EXPECT_EQ(rows[0].policySummary, QStringLiteral("Manual only"));
    EXPECT_EQ(rows[0].appSummary, QStringLiteral("No apps bound"));
    EXPECT_TRUE(rows[1].canMount && rows[1].canUnmount);
    EXPECT_EQ(rows[1].statusTitle, QStringLiteral("Ready to Unmount"));
    EXPECT_EQ(rows[1].appSummary, QStringLiteral("Alpha, Zed"));
    EXPECT_EQ(rows[1].policySummary, QStringLiteral("Auto-unmount after 42 seconds"));
    EXPECT_EQ(rows[1].detail, QStringLiteral("Ready"));
    EXPECT_FALSE(rows[2].canMount || rows[2].canUnmount || rows[2].isEnabled);

    EXPECT_EQ(model.safetySummary(), QStringLiteral("1 ready to unmount"));
    EXPECT_EQ(model.recentErrorText(), QStringLiteral("No recent errors"));
    EXPECT_EQ(model.recentEventText(), QStringLiteral("newest"));
    EXPECT_EQ(model.targetSummary(), QStringLiteral("3 targets / 0 mounted"));
}

TEST(DashboardViewModel, ErrorsOutrankReminders) {
    const auto configuration = configurationWith(
        {localRule(QStringLiteral("A")), localRule(QStringLiteral("B")), localRule(QStringLiteral("C"))});
    auto states = statesFor(configuration,
                            {Status::targetNotFound(), Status::readyToUnmount(), Status::readyToUnmount()});
    states[0].lastErrorMessage = QStringLiteral("first");
    states[1].lastErrorMessage = QStringLiteral("second");
    DashboardViewModel model(configuration, states, {}, {});
    EXPECT_EQ(model.safetySummary(), QStringLiteral("1 error"));
    EXPECT_EQ(model.recentErrorText(), QStringLiteral("second"));
    model.update(std::nullopt, statesFor(configuration, {Status::notMounted(), Status::readyToUnmount(),
                                                         Status::readyToUnmount()}));
    EXPECT_EQ(model.safetySummary(), QStringLiteral("2 ready to unmount"));
    model.update(std::nullopt,
                 statesFor(configuration, {Status::unmountFailed(QStringLiteral("a")),
                                           Status::mountFailed(QStringLiteral("b")), Status::mounted()}));
    EXPECT_EQ(model.safetySummary(), QStringLiteral("2 errors"));
    EXPECT_EQ(model.targetSummary(), QStringLiteral("3 targets / 1 mounted"));
}
