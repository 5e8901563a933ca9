#include "support/UiSystem.h"
#include "support/TaskRunner.h"
#include "ui/DashboardStatusBadge.h"
#include "ui/DashboardStorageRuleRow.h"
#include "ui/DashboardView.h"
#include "ui/ElidedLabel.h"

#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace tarnwell;
using namespace tarnwell::testing;

// Long names in three scripts, the first rule disabled; with no rules the first steps stand in.
TEST(DashboardViewTest, RowsElideLongNamesAndWithoutRulesTheFirstStepsStandIn) {
    const QStringList names{
        QString(200, QLatin1Char('R')),
        QStringLiteral("素材盘剪辑项目二〇二六年度纪录片母带备份素材盘剪辑项目"),
        QStringLiteral("مشروع الفيلم الوثائقي النسخة النهائية مشروع الفيلم الوثائقي النسخة النهائية")};
    for (const QStringList& ruleNames : {names, QStringList{}}) {
        TarnwellConfiguration configuration = UiSystem::configuration(ruleNames);
        if (!ruleNames.isEmpty()) {
            configuration.storageRules[0].isEnabled = false;
        }
        UiSystem system(configuration);
        DashboardView page(system.container.get());
        page.resize(740, 700);
        page.show();
        const QList<DashboardStorageRuleRow*> rows = page.findChildren<DashboardStorageRuleRow*>();
        ASSERT_EQ(rows.size(), ruleNames.size());
        for (qsizetype index = 0; index < rows.size(); ++index) {
            const ElidedLabel* title = rows[index]->findChild<ElidedLabel*>();
            EXPECT_EQ(title->toolTip(), names[index]);
            EXPECT_LE(title->fontMetrics().horizontalAdvance(title->text()), title->width());
            EXPECT_LE(rows[index]->geometry().right(), page.viewport()->width());
            EXPECT_EQ(rows[index]->findChild<DashboardStatusBadge*>()->text() == "Disabled", index == 0);
        }
        const QList<ElidedLabel*> labels = page.findChildren<ElidedLabel*>();
        const QStringList steps = system.container->dashboardViewModel()->emptyStateSteps();
        EXPECT_EQ(std::count_if(labels.begin(), labels.end(),
                                [&](auto* label) { return steps.contains(label->fullText()); }),
                  steps.size());
    }
}

// The buttons reach the controller without waiting for the disk tool; a button not offered is inert.
TEST(DashboardViewTest, MountNowAndUnmountSafelyDriveTheControllerAndFollowItsStates) {
    UiSystem system(UiSystem::configuration({QStringLiteral("Rushes")}),
                    UiSystem::disks({QStringLiteral("Rushes")}));
    DashboardView page(system.container.get());
    page.resize(740, 700);
    page.show();
    auto* row = page.findChild<DashboardStorageRuleRow*>();
    QTest::mouseClick(row->unmountButton(), Qt::LeftButton);
    QTest::mouseClick(row->mountButton(), Qt::LeftButton);
    EXPECT_NE(row->row().statusTitle, QStringLiteral("Mounted"));
    ASSERT_TRUE(runUntil([&] { return row->unmountButton()->isEnabled(); }));
    EXPECT_FALSE(row->mountButton()->isEnabled());
    QTest::mouseClick(row->mountButton(), Qt::LeftButton);
    QTest::mouseClick(row->unmountButton(), Qt::LeftButton);
    ASSERT_TRUE(runUntil([&] { return row->mountButton()->isEnabled(); }));
    EXPECT_EQ(system.runs(QStringLiteral("mount")), 1);
    EXPECT_EQ(system.runs(QStringLiteral("unmount")), 1);
}
