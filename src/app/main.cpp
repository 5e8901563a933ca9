#include "app/TarnwellContainer.h"
#include "app/TerminationSignalHandler.h"
#include "ui/ApplicationChooserDialog.h"

#include <QApplication>

using namespace tarnwell;

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tarnwell"));
    QApplication::setApplicationName(QStringLiteral("Tarnwell"));
    QApplication::setDesktopFileName(QStringLiteral("tarnwell"));
    // A tray application keeps running with no window open.
    QApplication::setQuitOnLastWindowClosed(false);

    TerminationSignalHandler terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignalHandler::terminationRequested, &application,
                     &QApplication::quit);

    TarnwellContainer::Dependencies dependencies;
    dependencies.appSelection = &ApplicationChooserDialog::choose;
    TarnwellContainer container(std::move(dependencies));
    return QApplication::exec();
}
