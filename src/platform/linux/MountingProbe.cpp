#include "platform/linux/MountingProbe.h"

#include "core/support/Localization.h"
#include "platform/linux/HealthProbeSupport.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QFile>
#include <pwd.h>
#include <unistd.h>

namespace tarnwell {

namespace {

using StringMap = QMap<QString, QString>;

// The process's start time in clock ticks since boot, which polkit needs to tell a process from a
// later one with the same number; 0 when it cannot be read.
quint64 processStartTime(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return 0;
    }
    // The command name may hold spaces and parentheses; the fields after its last ")" are plain.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    // Field 22 of the whole line, the 20th after the name and the state.
    return fields.size() > 19 ? fields.at(19).toULongLong() : 0;
}

uint processOwner(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Uid:")) {
                return line.mid(4).simplified().split(' ').value(0).toUInt();
            }
        }
    }
    return ::getuid();
}

QString userName(uint uid) {
    const passwd* entry = ::getpwuid(uid);
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(uid);
}

QDBusMessage authorizationQuestion(qint64 pid, uint uid) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.PolicyKit1"), QStringLiteral("/org/freedesktop/PolicyKit1/Authority"),
        QStringLiteral("org.freedesktop.PolicyKit1.Authority"), QStringLiteral("CheckAuthorization"));
    QDBusArgument subject;
    subject.beginStructure();
    subject << QStringLiteral("unix-process")
            << QVariantMap{{QStringLiteral("pid"), QVariant::fromValue(quint32(pid))},
                           {QStringLiteral("start-time"), QVariant::fromValue(processStartTime(pid))},
                           {QStringLiteral("uid"), QVariant::fromValue(qint32(uid))}};
    subject.endStructure();
    // No flags: polkit must answer without asking anyone for a password.
    message.setArguments({QVariant::fromValue(subject), QString::fromLatin1(MountingProbe::mountAction),
                          QVariant::fromValue(StringMap{}), QVariant::fromValue(quint32(0)), QString()});
    return message;
}

} // namespace

MountingProbe::MountingProbe(QDBusConnection systemBus, qint64 subjectPid, std::optional<bool> asRoot)
    : m_bus(std::move(systemBus))
    , m_subjectPid(subjectPid > 0 ? subjectPid : QCoreApplication::applicationPid())
    , m_asRoot(asRoot.value_or(::geteuid() == 0)) {
    qDBusRegisterMetaType<StringMap>();
}

QString MountingProbe::title() const {
    return localized("Mounting");
}

QCoro::Task<HealthCheck> MountingProbe::check(HealthInputs) {
    return check(m_bus, m_subjectPid, m_asRoot);
}

QString MountingProbe::exampleRule(const QString& userName) {
    return QStringLiteral("polkit.addRule(function(action, subject) {\n"
                          "    if (action.id == \"%1\" && subject.user == \"%2\") {\n"
                          "        return polkit.Result.YES;\n"
                          "    }\n"
                          "});")
        .arg(QString::fromLatin1(mountAction), userName);
}

namespace {

// What the bus said, gathered by the coroutine; the texts are built from it in plain code.
struct MountingFacts {
    bool asRoot = false;
    bool hasSystemBus = false;
    // Empty while UDisks2 does not answer.
    QString version;
    QString udisksFailure;
    // Not running now, but the bus starts it when asked.
    bool udisksOnDemand = false;
    uint uid = 0;
    // Whether polkit answered, and what.
    bool polkitAnswered = false;
    QString polkitFailure;
    bool authorized = false;
    bool challenge = false;
};

HealthCheck describe(const MountingFacts& facts) {
    HealthCheck result{localized("Mounting"), HealthState::Fine};
    result.version = facts.version;
    if (facts.version.isEmpty() && facts.udisksOnDemand) {
        result.finding =
            localized("UDisks2 is not running now; the system starts it when a drive is first mounted.");
        return result;
    }
    if (facts.version.isEmpty()) {
        const QString why = facts.hasSystemBus ? facts.udisksFailure : localized("there is no system bus");
        if (facts.asRoot) {
            result.finding =
                localizedFormat("UDisks2 does not answer (%@); as root, Tarnwell mounts directly.", {why});
            return result;
        }
        result.state = HealthState::NotWorking;
        result.finding = localizedFormat("UDisks2 does not answer on the system bus: %@", {why});
        result.advice =
            localized("Install UDisks2 (the udisks2 package) and make sure its service runs; without "
                      "it only root can mount.");
        return result;
    }
    if (facts.uid == 0) {
        result.finding =
            localizedFormat("UDisks2 %@ answers, and root may mount any drive.", {facts.version});
        return result;
    }
    if (!facts.polkitAnswered) {
        result.state = HealthState::NeedsAttention;
        result.finding = localizedFormat("UDisks2 %@ answers, but polkit does not: %@",
                                         {facts.version, facts.polkitFailure});
        result.advice = localized("Make sure polkit runs; UDisks2 asks it before every mount.");
        return result;
    }
    if (facts.authorized) {
        result.finding = localizedFormat(
            "UDisks2 %@ answers, and polkit lets you mount a removable drive without a password.",
            {facts.version});
        return result;
    }
    QString answer;
    if (facts.challenge) {
        result.state = HealthState::NeedsAttention;
        result.finding =
            localizedFormat("UDisks2 %@ answers, but polkit asks for a password to mount.", {facts.version});
        answer = localized("a password is needed (challenge)");
    } else {
        result.state = HealthState::NotWorking;
        result.finding =
            localizedFormat("UDisks2 %@ answers, but polkit refuses to let you mount.", {facts.version});
        answer = localized("no");
    }
    result.advice =
        localized("Ask your administrator for a polkit rule that allows the action, such as the one below.");
    result.details =
        QStringList{localizedFormat("polkit action: %@", {QString::fromLatin1(MountingProbe::mountAction)}),
                    localizedFormat("Answer: %@", {answer}),
                    localized("Example rule, in /etc/polkit-1/rules.d/50-tarnwell-mount.rules:"),
                    MountingProbe::exampleRule(userName(facts.uid))}
            .join(u'\n');
    return result;
}

} // namespace

QCoro::Task<HealthCheck> MountingProbe::check(QDBusConnection bus, qint64 pid, bool asRoot) {
    using namespace HealthProbeSupport;
    MountingFacts facts;
    facts.asRoot = asRoot;
    facts.hasSystemBus = bus.isConnected();
    const QDBusMessage versionQuestion = propertyRead(
        QStringLiteral("org.freedesktop.UDisks2"), QStringLiteral("/org/freedesktop/UDisks2/Manager"),
        QStringLiteral("org.freedesktop.UDisks2.Manager"), QStringLiteral("Version"));
    // Only a UDisks2 that runs now is asked, so that checking never starts it.
    const QString udisks = QStringLiteral("org.freedesktop.UDisks2");
    if (co_await hasOwner(bus, udisks)) {
        const QDBusMessage version = co_await call(bus, versionQuestion);
        facts.version = propertyValue(version).toString();
        facts.udisksFailure = errorText(version);
    } else {
        const QDBusMessage question = busMethod(QStringLiteral("ListActivatableNames"), QVariantList());
        const QDBusMessage activatable = co_await call(bus, question);
        facts.udisksOnDemand = activatable.arguments().value(0).toStringList().contains(udisks);
        facts.udisksFailure = localized("it is not running");
    }
    facts.uid = processOwner(pid);
    if (!facts.version.isEmpty() && facts.uid != 0) {
        const QDBusMessage question = authorizationQuestion(pid, facts.uid);
        const QDBusMessage answer = co_await call(bus, question);
        facts.polkitAnswered = answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty();
        facts.polkitFailure = errorText(answer);
        if (facts.polkitAnswered) {
            StringMap details;
            const QDBusArgument reply = answer.arguments().first().value<QDBusArgument>();
            reply.beginStructure();
            reply >> facts.authorized >> facts.challenge >> details;
            reply.endStructure();
        }
    }
    co_return describe(facts);
}

} // namespace tarnwell
