#include "core/support/Localization.h"
#include "support/TaskRunner.h"
#include "support/UiSystem.h"
#include "ui/MainWindowPlaceholderView.h"
#include "ui/MainWindowView.h"
#include "ui/SectionTitle.h"
#include "ui/TarnwellSidebar.h"
#include "ui/TarnwellSidebarItem.h"
#include "ui/TarnwellSidebarStatusCard.h"
#include "ui/VolumesView.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace tarnwell;
using namespace tarnwell::testing;

TEST(MainWindowViewTest, TheStatusCardShowsAllGoodOrTheSummaryVerbatim) {
    struct Case {
        QStringList rules;
        QStringList volumes;
        QString shown;
    };
    const QList<Case> cases{
        {{}, {}, QStringLiteral("All Good")},
        {{QStringLiteral("Rushes")}, {}, QStringLiteral("1 error")},
    };
    for (const Case& example : cases) {
        UiSystem system(UiSystem::configuration(example.rules), UiSystem::disks(example.volumes));
        MainWindowView window(system.container.get());
        EXPECT_EQ(window.sidebar()->statusCard()->statusText(), example.shown);
    }
}

TEST(MainWindowViewTest, TheWindowKeepsItsMinimumSizeAndItsTitle) {
    UiSystem system;
    MainWindowView window(system.container.get());
    window.show();
    window.resize(400, 300);
    EXPECT_GE(window.width(), 940);
    EXPECT_GE(window.height(), 640);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Tarnwell"));
}

TEST(MainWindowViewTest, DiagnosticsShowsOnlyItsPlaceholderAndBindsNoViewModel) {
    UiSystem system;
    MainWindowView window(system.container.get());
    window.show();
    window.sidebar()->item(MainWindowSection::Diagnostics)->click();

    EXPECT_EQ(window.currentSection(), MainWindowSection::Diagnostics);
    EXPECT_NE(qobject_cast<MainWindowPlaceholderView*>(window.currentPage()), nullptr);
    EXPECT_EQ(window.currentPage()->findChild<SectionTitle*>()->title(),
              QStringLiteral("Diagnostics workspace ready"));
    // No other section's page was built on the way, so none of them read its view model.
    for (MainWindowSection other : {MainWindowSection::Rules, MainWindowSection::Volumes,
                                    MainWindowSection::Apps, MainWindowSection::Settings}) {
        EXPECT_EQ(window.page(other), nullptr);
    }
}

TEST(MainWindowViewTest, TheKeyboardAloneMovesBetweenSections) {
    UiSystem system;
    MainWindowView window(system.container.get());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    QTest::keyClick(&window, Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(window.currentSection(), MainWindowSection::Volumes);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(window.currentSection(), MainWindowSection::Apps);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    EXPECT_EQ(window.currentSection(), MainWindowSection::Rules);
    QTest::keyClick(&window, Qt::Key_6, Qt::ControlModifier);
    EXPECT_EQ(window.currentSection(), MainWindowSection::Settings);
    // The Volumes page's first listing runs the disk tool: it ends before the test does.
    auto* volumes = qobject_cast<VolumesView*>(window.page(MainWindowSection::Volumes));
    EXPECT_TRUE(runUntil([&] { return !volumes->isRefreshing(); }));
}
