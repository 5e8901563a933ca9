#pragma once

#include "app/TarnwellContainer.h"
#include "ui/window/MainWindowView.h"

#include <QObject>
#include <QPointer>

namespace tarnwell {

class TarnwellTray;

// The desktop application around one container: the tray with its panel and the one main
// window, created on first open. Closing the window never stops the automation.
class TarnwellApp : public QObject {
    Q_OBJECT

public:
    explicit TarnwellApp(TarnwellContainer* container, QObject* parent = nullptr);
    ~TarnwellApp() override;

    // Shows the tray icon, and the main window unless started in the background with a tray to
    // reach it from: without a tray the window would otherwise be unreachable.
    void start(bool background);
    // The window-opening action: shows, raises and activates the main window.
    void openWindow(const QString& identifier);
    // What "Open Tarnwell" does everywhere: the container reloads, then opens the window.
    void openMainWindow();

    MainWindowView* mainWindow() const { return m_window; }
    TarnwellTray* tray() const { return m_tray; }

Q_SIGNALS:
    void quitRequested();

private:
    QPointer<TarnwellContainer> m_container;
    TarnwellTray* m_tray;
    QPointer<MainWindowView> m_window;
};

} // namespace tarnwell
