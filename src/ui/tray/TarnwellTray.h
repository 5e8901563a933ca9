#pragma once

#include "app/TarnwellContainer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <optional>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace tarnwell {

class MenuBarView;

// The tray icon with its panel and its context menu. Left click toggles the panel; the context
// menu repeats the panel's commands for desktops that only show a tray menu. The tooltip is the
// panel's status title, and a failure puts an emblem on the icon.
class TarnwellTray : public QObject {
    Q_OBJECT

public:
    TarnwellTray(TarnwellContainer* container, TarnwellContainer::OpenWindow openWindow,
                 QObject* parent = nullptr);
    ~TarnwellTray() override;

    void show();
    QSystemTrayIcon* trayIcon() const { return m_icon; }
    QMenu* contextMenu() const { return m_menu; }
    MenuBarView* panel() const { return m_panel; }
    // Shows the panel near the anchor (or where the window system puts it when there is none),
    // or hides it when it is showing.
    void togglePanel(std::optional<QPoint> anchor);

    // Where a panel of the size goes for an activation at the anchor: at the anchor, flipped
    // above or to the left of it where it would run off the available area, and kept inside it.
    static QPoint panelPosition(QSize panel, QPoint anchor, QRect available);
    // The drive icon, with an emblem in the status colour when that is red or orange.
    static QIcon statusIcon(MenuBarViewModel::StatusColorKind kind);

Q_SIGNALS:
    void quitRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void render();
    void activated(int reason);

    QPointer<TarnwellContainer> m_container;
    TarnwellContainer::OpenWindow m_openWindow;
    QSystemTrayIcon* m_icon;
    QMenu* m_menu;
    MenuBarView* m_panel;
    QAction* m_mountAction = nullptr;
    QAction* m_unmountAction = nullptr;
    QElapsedTimer m_sinceHidden;
};

} // namespace tarnwell
