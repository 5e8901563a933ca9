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
#include <QCommandLineParser>
#include <QIcon>
#include <cstdio>

using namespace tarnwell;

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tarnwell"));
    QApplication::setApplicationName(QStringLiteral("Tarnwell"));
    QApplication::setApplicationVersion(QStringLiteral(TARNWELL_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tarnwell"));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("tarnwell"), QIcon(QStringLiteral(":/tarnwell.svg"))));
    // A tray application keeps running with no window open.
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser arguments;
    arguments.setApplicationDescription(
        localized("Mounts media drives for editing apps and releases them safely."));
    arguments.addHelpOption();
    arguments.addVersionOption();
    const QCommandLineOption background(QStringLiteral("background"),
                                        localized("Start in the tray without opening the window."));
    arguments.addOption(background);
    arguments.process(application);

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

    // Installed first, so the translations of other languages, installed later, take precedence.
    EnglishPluralTranslator englishPlurals;
    QApplication::installTranslator(&englishPlurals);
    LinuxWordingTranslator linuxWording;
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
    app.start(arguments.isSet(background));
    return QApplication::exec();
}
