#pragma once

#include "app/StatusReport.h"

#include <QCoroTask>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QPointer>
#include <functional>

namespace tarnwell {

class SingleInstanceService;
class TarnwellContainer;

// The running Tarnwell's interface on the session bus, for scripts, the command line and desktop
// extensions: the status, each rule's state, a signal when they change, and the actions of the
// tray panel. It offers nothing that changes the configuration. Its contract is
// data/dbus/org.tarnwell.Tarnwell.Control.xml. It is an adaptor of the single-instance object,
// which owns the object path and the well-known name.
class TarnwellBusService : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tarnwell.Tarnwell.Control")

public:
    static constexpr const char* interfaceName = "org.tarnwell.Tarnwell.Control";
    static constexpr const char* unknownRuleError = "org.tarnwell.Tarnwell.Error.UnknownRule";

    // What Open and Quit do; empty until set.
    std::function<void()> onOpen;
    std::function<void()> onQuit;

    TarnwellBusService(SingleInstanceService* instance, TarnwellContainer* container);

    static void registerTypes();

public Q_SLOTS:
    QString GetStatus(bool& failed, QList<QVariantMap>& rules);
    // The actions answer once they have finished, so each takes the call it answers.
    void MountMissing(const QDBusMessage& call);
    void UnmountReady(const QDBusMessage& call);
    void MountRule(const QString& id, const QDBusMessage& call);
    void UnmountRule(const QString& id, const QDBusMessage& call);
    void Open();
    void Quit();

Q_SIGNALS:
    void Changed(const QString& title, bool failed, const QList<QVariantMap>& rules);

private:
    enum class Action { MountMissing, UnmountReady, MountRule, UnmountRule };
    StatusReport report() const;
    // Sends the changed report once per pass of the event loop, and only when it changed.
    void scheduleChanged();
    // Answers the call once the action has finished.
    void answerWhenDone(const QDBusMessage& call, Action action, QUuid rule = {});
    static QCoro::Task<> run(QPointer<TarnwellContainer> container, Action action, QUuid rule,
                             QDBusConnection connection, QDBusMessage reply);
    // The enabled rule the argument names; on failure the call is answered with an error.
    std::optional<QUuid> enabledRule(const QString& id, const QDBusMessage& call);

    QDBusConnection m_connection;
    QPointer<TarnwellContainer> m_container;
    StatusReport m_lastSent;
    bool m_changeScheduled = false;
};

} // namespace tarnwell
