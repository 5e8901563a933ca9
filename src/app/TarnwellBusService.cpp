#include "app/TarnwellBusService.h"

#include "app/TarnwellContainer.h"
#include "core/model/TarnwellError.h"
#include "platform/linux/SingleInstanceService.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QTimer>

namespace tarnwell {

TarnwellBusService::TarnwellBusService(SingleInstanceService* instance, TarnwellContainer* container)
    : QDBusAbstractAdaptor(instance)
    , m_connection(instance->connection())
    , m_container(container) {
    registerTypes();
    m_lastSent = report();
    auto* menu = container->menuViewModel();
    connect(menu, &MenuBarViewModel::presentationChanged, this, &TarnwellBusService::scheduleChanged);
    connect(menu, &MenuBarViewModel::targetStatesChanged, this, &TarnwellBusService::scheduleChanged);
}

void TarnwellBusService::registerTypes() {
    qDBusRegisterMetaType<QList<QVariantMap>>();
}

StatusReport TarnwellBusService::report() const {
    return m_container ? StatusReport::of(*m_container->menuViewModel()) : StatusReport{};
}

void TarnwellBusService::scheduleChanged() {
    if (std::exchange(m_changeScheduled, true)) {
        return;
    }
    QTimer::singleShot(0, this, [this] {
        m_changeScheduled = false;
        StatusReport now = report();
        if (now == m_lastSent) {
            return;
        }
        m_lastSent = std::move(now);
        Q_EMIT Changed(m_lastSent.title, m_lastSent.failed(), m_lastSent.busRules());
    });
}

QString TarnwellBusService::GetStatus(bool& failed, QList<QVariantMap>& rules) {
    const StatusReport now = report();
    failed = now.failed();
    rules = now.busRules();
    return now.title;
}

void TarnwellBusService::MountMissing(const QDBusMessage& call) {
    answerWhenDone(call, Action::MountMissing);
}

void TarnwellBusService::UnmountReady(const QDBusMessage& call) {
    answerWhenDone(call, Action::UnmountReady);
}

void TarnwellBusService::MountRule(const QString& id, const QDBusMessage& call) {
    if (const auto rule = enabledRule(id, call)) {
        answerWhenDone(call, Action::MountRule, *rule);
    }
}

void TarnwellBusService::UnmountRule(const QString& id, const QDBusMessage& call) {
    if (const auto rule = enabledRule(id, call)) {
        answerWhenDone(call, Action::UnmountRule, *rule);
    }
}

void TarnwellBusService::Open() {
    if (onOpen) {
        onOpen();
    }
}

void TarnwellBusService::Quit() {
    // The answer goes out first; quitting leaves the event loop that would send it.
    if (onQuit) {
        QTimer::singleShot(0, this, [this] { onQuit(); });
    }
}

std::optional<QUuid> TarnwellBusService::enabledRule(const QString& id, const QDBusMessage& call) {
    const QUuid rule = QUuid::fromString(id);
    if (rule.isNull()) {
        call.setDelayedReply(true);
        m_connection.send(call.createErrorReply(
            QDBusError::InvalidArgs,
            QStringLiteral("“%1” is not a rule identifier; GetStatus lists them.").arg(id)));
        return std::nullopt;
    }
    const auto& rules = m_container->configuration().storageRules;
    if (std::none_of(rules.cbegin(), rules.cend(), [&rule](const StorageTargetRule& candidate) {
            return candidate.id == rule && candidate.isEnabled;
        })) {
        call.setDelayedReply(true);
        m_connection.send(
            call.createErrorReply(QString::fromLatin1(unknownRuleError),
                                  QStringLiteral("No enabled rule has the identifier %1.").arg(id)));
        return std::nullopt;
    }
    return rule;
}

void TarnwellBusService::answerWhenDone(const QDBusMessage& call, Action action, QUuid rule) {
    call.setDelayedReply(true);
    run(m_container, action, rule, m_connection, call.createReply());
}

// Fire-and-forget: the caller gets an answer on every path, an error when the action failed.
QCoro::Task<> TarnwellBusService::run(QPointer<TarnwellContainer> container, Action action, QUuid rule,
                                      QDBusConnection connection, QDBusMessage reply) {
    try {
        if (container) {
            switch (action) {
            case Action::MountMissing:
                co_await container->mountMissingTargets();
                break;
            case Action::UnmountReady:
                co_await container->unmountReadyTargets();
                break;
            case Action::MountRule:
                if (const QPointer<TarnwellController> controller = container->controller()) {
                    co_await controller->mountRule(rule);
                }
                break;
            case Action::UnmountRule:
                if (const QPointer<TarnwellController> controller = container->controller()) {
                    co_await controller->unmountRuleSafely(rule);
                }
                break;
            }
        }
    } catch (...) {
        reply = reply.createErrorReply(QDBusError::Failed, userFacingMessage(std::current_exception()));
    }
    connection.send(reply);
}

} // namespace tarnwell
