#include "support/TaskRunner.h"
#include "support/UiSystem.h"
#include "ui/MenuBarView.h"
#include "ui/MenuValueRow.h"
#include "ui/PrimaryActionButton.h"

#include <QJsonArray>
#include <QTest>
#include <gtest/gtest.h>

using namespace tarnwell;
using namespace tarnwell::testing;

TEST(MenuBarViewTest, TheBulkActionsFollowTheRulesStates) {
    struct Case {
        const char* name;
        QStringList rules;
        bool mountFails;
        bool noDriveSelected;
        bool canMount;
        bool canUnmount;
    };
    const QList<Case> cases{
        {"no rules", {}, false, true, false, false},
        {"mount failed", {QStringLiteral("Rushes")}, true, false, true, false},
        {"mounted", {QStringLiteral("Rushes")}, false, false, false, true},
    };
    for (const Case& example : cases) {
        SCOPED_TRACE(example.name);
        QJsonObject disks = UiSystem::disks({QStringLiteral("Rushes")});
        if (example.mountFails) {
            disks[QStringLiteral("failures")] =
                QJsonArray{QJsonObject{{"command", "mount"}, {"exitCode", 1}}};
        }
        UiSystem system(UiSystem::configuration(example.rules), disks);
        if (!example.rules.isEmpty()) {
            runTask(system.container->mountMissingTargets());
        }
        MenuBarView panel(system.container.get(), {});
        const auto rows = panel.findChildren<MenuValueRow*>();
        EXPECT_EQ(std::any_of(rows.begin(), rows.end(),
                              [](auto* row) { return row->value() == QStringLiteral("No Drive Selected"); }),
                  example.noDriveSelected);
        EXPECT_EQ(panel.mountButton()->isEnabled(), example.canMount);
        EXPECT_EQ(panel.unmountButton()->isEnabled(), example.canUnmount);
    }
}

TEST(MenuBarViewTest, EachShowingRefreshesOnceAndShowingAgainWhileVisibleDoesNot) {
    const QStringList volumes{QStringLiteral("Rushes")};
    UiSystem system(UiSystem::configuration(volumes), UiSystem::disks(volumes));
    const MenuBarViewModel& model = *system.container->menuViewModel();
    MenuBarView panel(system.container.get(), {});
    // The volume is mounted behind Tarnwell's back; only a refresh notices.
    system.tool.setState(UiSystem::disks(volumes, volumes));
    panel.show();
    ASSERT_TRUE(runUntil([&] { return model.canUnmountReady(); }));

    system.tool.setState(UiSystem::disks(volumes));
    panel.show();
    QTest::qWait(300);
    EXPECT_TRUE(model.canUnmountReady());

    panel.hide();
    panel.show();
    EXPECT_TRUE(runUntil([&] { return !model.canUnmountReady(); }));
}

TEST(MenuBarViewTest, APressShowsItsFeedbackAtOnceAndStartsTheMount) {
    const QStringList volumes{QStringLiteral("Rushes")};
    UiSystem system(UiSystem::configuration(volumes), UiSystem::disks(volumes));
    MenuBarView panel(system.container.get(), {});
    QTest::mouseClick(panel.mountButton(), Qt::LeftButton);
    EXPECT_TRUE(panel.mountButton()->feedbackShown());
    EXPECT_TRUE(runUntil([&] { return !panel.mountButton()->feedbackShown(); }, std::chrono::seconds(2)));
    EXPECT_TRUE(runUntil([&] { return system.container->menuViewModel()->canUnmountReady(); }));
}
