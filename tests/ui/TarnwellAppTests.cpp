#include "core/model/JsonCoding.h"
#include "core/model/RuleService.h"
#include "core/support/Localization.h"
#include "support/TaskRunner.h"
#include "support/UiSystem.h"
#include "ui/LinuxWordingTranslator.h"
#include "ui/SymbolIcons.h"
#include "ui/TarnwellApp.h"
#include "ui/TarnwellTray.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarnwell;
using namespace tarnwell::testing;

TEST(SymbolIconsTest, EverySymbolTheInterfaceNamesHasAnIconWithOnlyTheFallbackTheme) {
    QTemporaryDir icons;
    ASSERT_TRUE(
        QFile::link(QStringLiteral("/usr/share/icons/breeze"), icons.filePath(QStringLiteral("breeze"))));
    QIcon::setThemeSearchPaths({icons.path()});
    QIcon::setThemeName({});
    SymbolIcons::installFallbackTheme(false);
    QIcon::setThemeSearchPaths({icons.path()});

    QStringList used;
    const QRegularExpression symbol(QStringLiteral(R"re("([^"]+)"_symbol)re"));
    for (QDirIterator files(QStringLiteral(TARNWELL_SOURCE_DIR "/src/ui"), {"*.cpp", "*.h"});
         files.hasNext();) {
        QFile file(files.next());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        for (const auto& match : symbol.globalMatch(QString::fromUtf8(file.readAll()))) {
            used.append(match.captured(1));
        }
    }
    EXPECT_GT(used.size(), 20);
    QStringList known;
    for (const SymbolName& name : SymbolIcons::symbols()) {
        known.append(name.name);
        EXPECT_FALSE(SymbolIcons::icon(name).isNull()) << name.name.toStdString();
    }
    for (const QString& name : used) {
        EXPECT_TRUE(known.contains(name)) << name.toStdString();
    }
}

TEST(TarnwellAppTest, WithoutATrayTheWindowOpensEvenInTheBackground) {
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    UiSystem system;
    for (const bool background : {true, false}) {
        TarnwellApp app(system.container.get());
        app.start(background);
        ASSERT_NE(app.mainWindow(), nullptr);
        EXPECT_TRUE(app.mainWindow()->isVisible());
    }
}

TEST(TarnwellAppTest, OpeningReloadsTheStoredRulesThenShowsTheOneWindow) {
    UiSystem system;
    TarnwellApp app(system.container.get());
    SettingsViewModel* before = system.container->settingsViewModel();
    // A rule stored behind the running application's back is there when the window opens.
    system.preferences->values.insert(
        RuleService::configurationKey,
        JsonCoding::encodeDocument(UiSystem::configuration({QStringLiteral("Rushes")})));
    app.openMainWindow();
    EXPECT_EQ(app.mainWindow(), nullptr);
    ASSERT_TRUE(runUntil([&] { return app.mainWindow() && app.mainWindow()->isVisible(); }));
    EXPECT_EQ(system.container->configuration().storageRules.size(), 1);
    EXPECT_NE(system.container->settingsViewModel(), before);

    MainWindowView* window = app.mainWindow();
    window->close();
    app.openMainWindow();
    ASSERT_TRUE(runUntil([&] { return window->isVisible(); }));
    EXPECT_EQ(app.mainWindow(), window);
}

TEST(LinuxWordingTest, TextsNamingMacOSSpeakOfTheSystemAndOthersStay) {
    LinuxWordingTranslator wording;
    QCoreApplication::installTranslator(&wording);
    EXPECT_EQ(localized("Uses macOS system language. In-app language switching is planned."),
              QStringLiteral("Uses the system language. In-app language switching is planned."));
    EXPECT_EQ(localized("Mount Missing"), QStringLiteral("Mount Missing"));
    QCoreApplication::removeTranslator(&wording);
}

TEST(TarnwellTrayTest, ThePanelOpensAtTheClickFlippedAndKeptOnScreen) {
    const QRect screen(0, 0, 1920, 1080);
    const QSize panel(318, 400);
    const QList<std::pair<QPoint, QPoint>> cases{
        {{100, 30}, {100, 30}},      // top-left tray: below and right of the click
        {{1900, 20}, {1582, 20}},    // top-right tray: flipped to the left
        {{1900, 1070}, {1582, 670}}, // bottom-right tray: flipped left and above
        {{-50, 500}, {0, 500}},      // a click off the screen's edge: pulled back inside
    };
    for (const auto& [anchor, expected] : cases) {
        EXPECT_EQ(TarnwellTray::panelPosition(panel, anchor, screen), expected)
            << anchor.x() << "," << anchor.y();
    }
}
