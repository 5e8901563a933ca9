// tarnwell-screenshots: renders the main window on each section and the tray panel, in a light and
// a dark palette, with an empty and with the demo configuration, into PNG files for a person to
// look at. Usage: tarnwell-screenshots OUTPUT_FOLDER DISK_TOOL
#include "DemoSystem.h"
#include "core/support/EnglishPluralTranslator.h"
#include "ui/pages/apps/ApplicationChooserDialog.h"
#include "ui/pages/diagnostics/DiagnosticsView.h"
#include "ui/pages/rules/RulesView.h"
#include "ui/pages/volumes/VolumesView.h"
#include "ui/theme/SymbolIcons.h"
#include "ui/tray/MenuBarView.h"
#include "ui/window/MainWindowView.h"

#include "ui/LinuxWordingTranslator.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QIcon>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>
#include <cstdio>

using namespace tarnwell;

namespace {

QPalette darkPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0x2A, 0x2C, 0x31));
    palette.setColor(QPalette::WindowText, QColor(0xEC, 0xEE, 0xF1));
    palette.setColor(QPalette::Base, QColor(0x1F, 0x21, 0x25));
    palette.setColor(QPalette::AlternateBase, QColor(0x30, 0x33, 0x38));
    palette.setColor(QPalette::Text, QColor(0xEC, 0xEE, 0xF1));
    palette.setColor(QPalette::Button, QColor(0x34, 0x37, 0x3D));
    palette.setColor(QPalette::ButtonText, QColor(0xEC, 0xEE, 0xF1));
    palette.setColor(QPalette::Mid, QColor(0x5A, 0x5E, 0x66));
    palette.setColor(QPalette::Highlight, QColor(0x3D, 0xAE, 0xE9));
    palette.setColor(QPalette::HighlightedText, QColor(0xFC, 0xFC, 0xFC));
    palette.setColor(QPalette::PlaceholderText, QColor(0xA0, 0xA4, 0xAB));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x7A, 0x7E, 0x85));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x7A, 0x7E, 0x85));
    return palette;
}

QString slug(const QString& text) {
    return text.toLower().replace(u' ', u'-');
}

bool save(const QPixmap& picture, const QString& path) {
    if (!picture.save(path)) {
        std::fprintf(stderr, "Cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// The Rules and Volumes pages list the volumes when they first appear, and the Diagnostics page
// runs its checks; the picture is of the outcome, not of the wait for it. A listing or a check that
// never ends is pictured as it stands.
void waitForListing(QWidget* page, TarnwellContainer* container) {
    const auto listing = [page, container] {
        const auto* volumes = qobject_cast<VolumesView*>(page);
        const auto* rules = qobject_cast<RulesView*>(page);
        const bool checking =
            qobject_cast<DiagnosticsView*>(page) && container->diagnosticsViewModel()->isRunning();
        return (volumes && volumes->isRefreshing()) || (rules && rules->isRefreshingVolumes()) || checking;
    };
    QElapsedTimer elapsed;
    elapsed.start();
    // The Diagnostics page starts its checks only once it has been drawn; wait for them to begin.
    if (qobject_cast<DiagnosticsView*>(page)) {
        while (!container->diagnosticsViewModel()->isRunning() && elapsed.elapsed() < 2000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
    }
    while (listing() && elapsed.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    QApplication::processEvents();
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwell"));
    // The pictures show the texts a Linux user reads.
    EnglishPluralTranslator englishPlurals;
    QApplication::installTranslator(&englishPlurals);
    LinuxWordingTranslator linuxWording;
    QApplication::installTranslator(&linuxWording);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 3) {
        std::fputs("Usage: tarnwell-screenshots OUTPUT_FOLDER DISK_TOOL\n", stderr);
        return 2;
    }
    const QDir output(arguments[1]);
    if (!output.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "Cannot create %s\n", qPrintable(arguments[1]));
        return 1;
    }
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QPalette light = QApplication::style()->standardPalette();
    bool written = true;
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? darkPalette() : light);
        SymbolIcons::installFallbackTheme(dark);
        QIcon::setThemeName(QIcon::fallbackThemeName());
        for (const auto configuration : {DemoSystem::Configuration::Empty, DemoSystem::Configuration::Demo}) {
            DemoSystem system(configuration, arguments[2]);
            system.settle();
            const QString prefix = QStringLiteral("%1-%2-").arg(
                configuration == DemoSystem::Configuration::Demo ? "demo" : "empty", dark ? "dark" : "light");
            MainWindowView window(system.container());
            window.show();
            for (const MainWindowSection section : allMainWindowSections()) {
                window.selectSection(section);
                waitForListing(window.currentPage(), system.container());
                written &= save(window.grab(),
                                output.filePath(prefix + slug(mainWindowSectionTitle(section)) + ".png"));
                // The Diagnostics page is taller than the window: its log is pictured too.
                if (section == MainWindowSection::Diagnostics) {
                    QScrollBar* bar = qobject_cast<QScrollArea*>(window.currentPage())->verticalScrollBar();
                    bar->setValue(bar->maximum());
                    QApplication::processEvents();
                    written &= save(window.grab(), output.filePath(prefix + "diagnostics-log.png"));
                    bar->setValue(0);
                }
            }
            // The chooser behind "Add Custom App", over the demo machine's applications.
            ApplicationChooserDialog chooser(system.container()->desktopEntries(), &window);
            chooser.show();
            QApplication::processEvents();
            written &= save(chooser.grab(), output.filePath(prefix + "app-chooser.png"));
            chooser.hide();
            MenuBarView panel(system.container(), {});
            panel.show();
            QApplication::processEvents();
            written &= save(panel.grab(), output.filePath(prefix + "panel.png"));
        }
    }
    return written ? 0 : 1;
}
