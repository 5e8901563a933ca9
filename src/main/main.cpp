#include "app/CommandLine.h"
#include "app/TarnwellBusService.h"
#include "app/TarnwellContainer.h"
#include "app/TerminationSignalHandler.h"
#include "core/support/EnglishPluralTranslator.h"
#include "core/support/Localization.h"
#include "core/support/PlatformError.h"
#include "platform/linux/SingleInstanceService.h"
#include "ui/LinuxWordingTranslator.h"
#include "ui/TarnwellApp.h"
#include "ui/theme/SymbolIcons.h"
#include "ui/theme/TarnwellTheme.h"

#include <QApplication>
#include <QDBusConnection>
#include <QIcon>
#include <QTextStream>
#include <cstdio>

using namespace tarnwell;

namespace {

void nameApplication() {
    QCoreApplication::setOrganizationName(QStringLiteral("Tarnwell"));
    QCoreApplication::setApplicationName(QStringLiteral("Tarnwell"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARNWELL_VERSION));
}

} // namespace

int main(int argc, char* argv[]) {
    // The command line is read before anything needs a display, so the commands that only report
    // or ask the running instance work without one.
    bool background = false;
    // Installed first, so the translations of other languages, installed later, take precedence.
    EnglishPluralTranslator englishPlurals;
    LinuxWordingTranslator linuxWording;
    {
        QCoreApplication commandLineApplication(argc, argv);
        nameApplication();
        QCoreApplication::installTranslator(&englishPlurals);
        QCoreApplication::installTranslator(&linuxWording);
        const CommandLine commandLine = CommandLine::parse(commandLineApplication);
        if (commandLine.command() != CommandLine::Command::Start) {
            QTextStream out(stdout);
            QTextStream err(stderr);
            return CommandLine::run(commandLine.command(), QDBusConnection::sessionBus(), out, err);
        }
        background = commandLine.background();
    }

    QApplication application(argc, argv);
    nameApplication();
    QApplication::setDesktopFileName(QStringLiteral("tarnwell"));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("tarnwell"), QIcon(QStringLiteral(":/tarnwell.svg"))));
    // A tray application keeps running with no window open.
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstanceService instance;
    try {
        switch (instance.claim()) {
        case SingleInstanceService::Claim::Raised:
            std::fputs("Tarnwell is already running; its window is shown.\n", stderr);
            return 0;
        case SingleInstanceService::Claim::AlreadyRunning:
            std::fputs("Tarnwell is already running; it could not be asked to show its window.\n", stderr);
            return 0;
        case SingleInstanceService::Claim::First:
            break;
        }
    } catch (const PlatformError& error) {
        std::fprintf(stderr, "Tarnwell cannot start: %s\n", qUtf8Printable(error.message()));
        return 1;
    }

    QApplication::installTranslator(&englishPlurals);
    QApplication::installTranslator(&linuxWording);
    SymbolIcons::installFallbackTheme(TarnwellTheme::isDark(QApplication::palette()));
    TerminationSignalHandler terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignalHandler::terminationRequested, &application,
                     &QApplication::quit);

    TarnwellContainer::Dependencies dependencies;
    TarnwellContainer container(std::move(dependencies));
    TarnwellApp app(&container);
    QObject::connect(&app, &TarnwellApp::quitRequested, &application, &QApplication::quit);
    QObject::connect(&instance, &SingleInstanceService::activationRequested, &app,
                     &TarnwellApp::openMainWindow);
    TarnwellBusService bus(&instance, &container);
    bus.onOpen = [&app] { app.openMainWindow(); };
    bus.onQuit = [&application] { application.quit(); };
    app.start(background);
    return QApplication::exec();
}
