#include "ui/tray/TarnwellTray.h"

#include "core/support/Localization.h"
#include "ui/components/DetachedTask.h"
#include "ui/theme/SymbolIcons.h"
#include "ui/theme/TarnwellTheme.h"
#include "ui/tray/MenuBarView.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QSystemTrayIcon>

namespace tarnwell {

namespace {

// A click on the tray icon while the panel is open first closes the panel as a click outside
// it; the activation that follows within this time must not open it again.
constexpr qint64 reopenGuardMilliseconds = 300;

bool isWayland() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

} // namespace

TarnwellTray::TarnwellTray(TarnwellContainer* container, TarnwellContainer::OpenWindow openWindow,
                           QObject* parent)
    : QObject(parent)
    , m_container(container)
    , m_openWindow(std::move(openWindow))
    , m_icon(new QSystemTrayIcon(this))
    , m_menu(new QMenu)
    , m_panel(new MenuBarView(container, m_openWindow)) {
    m_panel->setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    m_panel->setWindowTitle(localized("Tarnwell"));
    if (isWayland()) {
        // Wayland always composites, so the panel can have its rounded corners.
        m_panel->setAttribute(Qt::WA_TranslucentBackground);
    }
    m_panel->installEventFilter(this);
    connect(m_panel, &MenuBarView::quitRequested, this, &TarnwellTray::quitRequested);

    m_menu->addAction(SymbolIcons::icon("macwindow"_symbol), localized("Open Tarnwell"), this, [this] {
        if (m_container) {
            m_container->openSettings(m_openWindow);
        }
    });
    m_mountAction = m_menu->addAction(
        SymbolIcons::icon("externaldrive.badge.plus"_symbol), localized("Mount Missing"), this, [this] {
            if (m_container) {
                startDetached(m_container->mountMissingTargets(), "Mounting the missing drives");
            }
        });
    m_unmountAction =
        m_menu->addAction(SymbolIcons::icon("eject"_symbol), localized("Unmount Ready"), this, [this] {
            if (m_container) {
                startDetached(m_container->unmountReadyTargets(), "Unmounting the ready drives");
            }
        });
    m_menu->addAction(SymbolIcons::icon("doc.on.doc"_symbol), localized("Copy Logs"), this, [this] {
        if (m_container) {
            m_container->copyLogsToPasteboard();
        }
    });
    m_menu->addSeparator();
    m_menu->addAction(SymbolIcons::icon("power"_symbol), localized("Quit"), this,
                      &TarnwellTray::quitRequested);
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { activated(reason); });

    connect(container->menuViewModel(), &MenuBarViewModel::presentationChanged, this, &TarnwellTray::render);
    render();
}

TarnwellTray::~TarnwellTray() {
    delete m_panel;
    delete m_menu;
}

void TarnwellTray::show() {
    m_icon->show();
}

void TarnwellTray::render() {
    if (!m_container) {
        return;
    }
    const MenuBarViewModel& model = *m_container->menuViewModel();
    m_icon->setIcon(statusIcon(model.statusColorKind()));
    m_icon->setToolTip(model.statusTitle());
    m_mountAction->setEnabled(model.canMountMissing());
    m_unmountAction->setEnabled(model.canUnmountReady());
}

void TarnwellTray::activated(int reason) {
    if (reason != QSystemTrayIcon::Trigger) {
        return;
    }
    if (m_sinceHidden.isValid() && m_sinceHidden.elapsed() < reopenGuardMilliseconds) {
        return;
    }
    if (isWayland()) {
        togglePanel(std::nullopt);
        return;
    }
    // The icon's geometry is unreliable on Linux desktops; the pointer is where the click was.
    const QRect geometry = m_icon->geometry();
    const QPoint pointer = QCursor::pos();
    togglePanel(geometry.isValid() && geometry.contains(pointer) ? geometry.bottomLeft() : pointer);
}

void TarnwellTray::togglePanel(std::optional<QPoint> anchor) {
    if (m_panel->isVisible()) {
        m_panel->hide();
        return;
    }
    m_panel->adjustSize();
    if (anchor) {
        // screenAt() finds nothing on some platforms; the primary screen stands in.
        QScreen* screen = QGuiApplication::screenAt(*anchor);
        if (!screen) {
            screen = QGuiApplication::primaryScreen();
        }
        if (screen) {
            m_panel->move(panelPosition(m_panel->size(), *anchor, screen->availableGeometry()));
        }
    }
    m_panel->show();
    m_panel->raise();
    m_panel->activateWindow();
}

QPoint TarnwellTray::panelPosition(QSize panel, QPoint anchor, QRect available) {
    int x = anchor.x();
    int y = anchor.y();
    if (x + panel.width() > available.right() + 1) {
        x = anchor.x() - panel.width();
    }
    if (y + panel.height() > available.bottom() + 1) {
        y = anchor.y() - panel.height();
    }
    x = qBound(available.left(), x, qMax(available.left(), available.right() + 1 - panel.width()));
    y = qBound(available.top(), y, qMax(available.top(), available.bottom() + 1 - panel.height()));
    return {x, y};
}

QIcon TarnwellTray::statusIcon(MenuBarViewModel::StatusColorKind kind) {
    const QIcon drive = SymbolIcons::icon("externaldrive.fill"_symbol);
    const bool emblem =
        kind == MenuBarViewModel::StatusColorKind::Red || kind == MenuBarViewModel::StatusColorKind::Orange;
    if (!emblem) {
        return drive;
    }
    QPalette light;
    light.setColor(QPalette::Window, Qt::white);
    const QColor color = TarnwellTheme::statusColor(kind, light);
    QIcon result;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap = drive.pixmap(QSize(size, size));
        if (pixmap.isNull()) {
            pixmap = QPixmap(size, size);
            pixmap.fill(Qt::transparent);
        }
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal diameter = size * 0.5;
        const QRectF dot(size - diameter, size - diameter, diameter, diameter);
        painter.setPen(QPen(Qt::white, qMax(1.0, size / 16.0)));
        painter.setBrush(color);
        painter.drawEllipse(dot.adjusted(0.5, 0.5, -0.5, -0.5));
        result.addPixmap(pixmap);
    }
    return result;
}

bool TarnwellTray::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_panel) {
        if (event->type() == QEvent::Hide) {
            m_sinceHidden.start();
        } else if (event->type() == QEvent::WindowDeactivate && m_panel->isVisible()) {
            // Where the panel cannot be a popup (Wayland without a parent), losing focus closes it.
            m_panel->hide();
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tarnwell
