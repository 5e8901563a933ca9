#include "platform/linux/NotificationServerProbe.h"

#include "core/support/Localization.h"
#include "platform/linux/HealthProbeSupport.h"

namespace tarnwell {

namespace {

const QString serviceName = QStringLiteral("org.freedesktop.Notifications");

} // namespace

NotificationServerProbe::NotificationServerProbe(QDBusConnection sessionBus)
    : m_bus(std::move(sessionBus)) {
}

QString NotificationServerProbe::title() const {
    return localized("Notifications");
}

QCoro::Task<HealthCheck> NotificationServerProbe::check(HealthInputs) {
    return check(m_bus);
}

QCoro::Task<HealthCheck> NotificationServerProbe::check(QDBusConnection bus) {
    using namespace HealthProbeSupport;
    HealthCheck result{localized("Notifications"), HealthState::NeedsAttention};
    result.advice = localized("Start your desktop's notification service; until one runs, Tarnwell's "
                              "notifications are not shown, and its activity log still tells what happened.");
    if (!bus.isConnected()) {
        result.finding = localized("There is no session bus, so no notification can be shown.");
        co_return result;
    }
    // Only a server that runs now is asked, so that checking never starts one.
    if (!co_await hasOwner(bus, serviceName)) {
        const QDBusMessage question = busMethod(QStringLiteral("ListActivatableNames"), QVariantList());
        const QDBusMessage activatable = co_await call(bus, question);
        if (activatable.arguments().value(0).toStringList().contains(serviceName)) {
            result.state = HealthState::Fine;
            result.advice.clear();
            result.finding =
                localized("No notification server runs now; the session starts one for the first "
                          "notification.");
            co_return result;
        }
        result.finding = localized("No notification server answers on the session bus.");
        co_return result;
    }
    const QDBusMessage information = co_await call(
        bus, QDBusMessage::createMethodCall(serviceName, QStringLiteral("/org/freedesktop/Notifications"),
                                            serviceName, QStringLiteral("GetServerInformation")));
    if (information.type() != QDBusMessage::ReplyMessage || information.arguments().size() < 3) {
        result.finding =
            localizedFormat("The notification server does not answer: %@", {errorText(information)});
        co_return result;
    }
    const QString name = information.arguments().at(0).toString();
    result.version = information.arguments().at(2).toString();
    result.state = HealthState::Fine;
    result.advice.clear();
    result.finding = localizedFormat("%@ %@ shows notifications.", {name, result.version});
    co_return result;
}

} // namespace tarnwell
