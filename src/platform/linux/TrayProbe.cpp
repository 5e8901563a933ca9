#include "platform/linux/TrayProbe.h"

#include "core/support/Localization.h"
#include "platform/linux/HealthProbeSupport.h"

#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace tarnwell {

TrayProbe::TrayProbe(QDBusConnection sessionBus, QString display)
    : m_bus(std::move(sessionBus))
    , m_display(std::move(display)) {
}

QString TrayProbe::title() const {
    return localized("Tray");
}

QCoro::Task<HealthCheck> TrayProbe::check(HealthInputs) {
    return check(m_bus, m_display);
}

bool TrayProbe::embeddedTrayPresent(const QString& display) {
    if (display.isEmpty()) {
        return false;
    }
    int screen = 0;
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> connection(
        xcb_connect(display.toLocal8Bit().constData(), &screen), &xcb_disconnect);
    if (xcb_connection_has_error(connection.get())) {
        return false;
    }
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen);
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(connection.get(),
                              xcb_intern_atom(connection.get(), 1, name.size(), name.constData()), nullptr),
        &std::free);
    if (!atom || atom->atom == XCB_ATOM_NONE) {
        return false;
    }
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection.get(), xcb_get_selection_owner(connection.get(), atom->atom),
                                      nullptr),
        &std::free);
    return owner && owner->owner != XCB_WINDOW_NONE;
}

QCoro::Task<HealthCheck> TrayProbe::check(QDBusConnection bus, QString display) {
    using namespace HealthProbeSupport;
    HealthCheck result{localized("Tray"), HealthState::Fine};
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    if (co_await hasOwner(bus, watcher)) {
        const QDBusMessage registered =
            co_await call(bus, propertyRead(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher,
                                            QStringLiteral("IsStatusNotifierHostRegistered")));
        if (propertyValue(registered).toBool()) {
            result.finding = localized("A StatusNotifierItem host shows Tarnwell's tray icon.");
            co_return result;
        }
    }
    std::function<bool()> work = [display] { return embeddedTrayPresent(display); };
    if (co_await offThread<bool>(std::move(work))) {
        result.finding = localized("An XEmbed system tray shows Tarnwell's tray icon.");
        co_return result;
    }
    result.state = HealthState::NeedsAttention;
    result.finding = localized("Neither a StatusNotifierItem host nor an XEmbed system tray is present.");
    result.advice = localized("Tarnwell keeps running when its window is closed; starting it again shows the "
                              "window.");
    co_return result;
}

} // namespace tarnwell
