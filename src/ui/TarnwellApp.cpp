#include "ui/TarnwellApp.h"

#include "ui/tray/TarnwellTray.h"
#include "ui/window/MainWindowView.h"

#include <QShortcut>
#include <QSystemTrayIcon>

namespace tarnwell {

TarnwellApp::TarnwellApp(TarnwellContainer* container, QObject* parent)
    : QObject(parent)
    , m_container(container)
    , m_tray(new TarnwellTray(
          container, [this](const QString& identifier) { openWindow(identifier); }, this)) {
    connect(m_tray, &TarnwellTray::quitRequested, this, &TarnwellApp::quitRequested);
}

TarnwellApp::~TarnwellApp() {
    delete m_window;
}

void TarnwellApp::start(bool background) {
    m_tray->show();
    if (!background || !QSystemTrayIcon::isSystemTrayAvailable()) {
        openWindow(QString::fromLatin1(TarnwellContainer::settingsWindowIdentifier));
    }
}

void TarnwellApp::openWindow(const QString& identifier) {
    Q_UNUSED(identifier);
    if (!m_window) {
        m_window = new MainWindowView(m_container.data());
        connect(new QShortcut(QKeySequence::Quit, m_window), &QShortcut::activated, this,
                &TarnwellApp::quitRequested);
    }
    m_window->showNormal();
    m_window->raise();
    m_window->activateWindow();
}

void TarnwellApp::openMainWindow() {
    if (m_container) {
        m_container->openSettings([this](const QString& identifier) { openWindow(identifier); });
    }
}

} // namespace tarnwell
