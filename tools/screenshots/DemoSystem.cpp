#include "DemoSystem.h"

#include "core/automation/AppMonitorService.h"
#include "core/disk/DiskService.h"
#include "core/disk/ShellRunner.h"
#include "core/model/JsonCoding.h"
#include "core/model/PreferencesStoring.h"
#include "core/model/RuleService.h"
#include "platform/linux/ConfigurationProbe.h"
#include "platform/linux/DesktopEntryCatalog.h"
#include "platform/linux/DesktopEntryPresetDiscovery.h"
#include "platform/linux/DiskToolProbe.h"
#include "platform/linux/DrivesProbe.h"
#include "platform/linux/EditorsProbe.h"
#include "platform/linux/MountingProbe.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>

namespace tarnwell {

namespace {

// The volume UUID the demo gives a volume of the given name.
QString demoUUID(const QString& name) {
    return QUuid::createUuidV5(QUuid(), QStringLiteral("tarnwell-demo:") + name)
        .toString(QUuid::WithoutBraces)
        .toUpper();
}

class MemoryPreferences : public PreferencesStoring {
public:
    std::optional<QByteArray> data(const QString& key) const override {
        return values.contains(key) ? std::optional(values.value(key)) : std::nullopt;
    }
    void setData(const QString& key, const QByteArray& value) override { values.insert(key, value); }

    QHash<QString, QByteArray> values;
};

// One USB disk whose volumes end in every state a rule can rest in: "Rushes" and "Grading"
// mounted (the second held by a render process), "Archive" refusing to mount, the others unmounted.
// "Proxies" is on no disk.
QJsonObject demoDisks() {
    QJsonArray partitions;
    const QStringList names{"Rushes", "Interviews", "Archive", "Grading", "B-Roll", "Backups"};
    for (qsizetype index = 0; index < names.size(); ++index) {
        const QString& name = names[index];
        const bool mounted = name == u"Rushes" || name == u"Grading";
        partitions.append(QJsonObject{{"deviceIdentifier", QStringLiteral("disk8s%1").arg(index + 1)},
                                      {"volumeName", name},
                                      {"volumeUUID", demoUUID(name)},
                                      {"filesystemName", "ExFAT"},
                                      {"mountPoint", mounted ? "/Volumes/" + name : QString()},
                                      {"busy", name == u"Grading"},
                                      {"busyProcess", "4242 (render)"}});
    }
    const QJsonArray failures{
        QJsonObject{{"command", "mount"},
                    {"target", demoUUID(QStringLiteral("Archive"))},
                    {"exitCode", 1},
                    {"stderr", "Volume Archive on disk8s3 failed to mount: I/O error"}}};
    return {{"disks", QJsonArray{QJsonObject{{"deviceIdentifier", "disk8"},
                                             {"internal", false},
                                             {"busProtocol", "USB"},
                                             {"content", "GUID_partition_scheme"},
                                             {"partitions", partitions}}}},
            {"failures", failures}};
}

// The mount points the disk tool's state holds, as the mount table would list them.
QStringList demoMountPoints(const QString& statePath) {
    QFile state(statePath);
    QStringList points;
    if (!state.open(QIODevice::ReadOnly)) {
        return points;
    }
    const QJsonArray disks = QJsonDocument::fromJson(state.readAll()).object().value("disks").toArray();
    for (const QJsonValue& disk : disks) {
        for (const QJsonValue& partition : disk.toObject().value("partitions").toArray()) {
            const QString point = partition.toObject().value("mountPoint").toString();
            if (!point.isEmpty()) {
                points.append(point);
            }
        }
    }
    return points;
}

StorageTargetRule rule(const QString& name, PostQuitAction action, QList<QUuid> apps, int order) {
    StorageTargetRule result;
    result.id = QUuid::createUuid();
    result.name = name;
    result.target =
        LocalVolumeTarget{name, demoUUID(name), {}, QStringLiteral("ExFAT"), {}, QStringLiteral("USB"), true};
    result.appTriggerIDs = std::move(apps);
    result.postQuitAction = action;
    result.unmountDelaySeconds = 30;
    result.sortOrder = order;
    return result;
}

AppTrigger triggerNamed(const TarnwellConfiguration& configuration, const QString& name) {
    for (const AppTrigger& trigger : configuration.appTriggers) {
        if (trigger.displayName == name) {
            return trigger;
        }
    }
    return {};
}

// The demo machine's applications: three editors and a few everyday programs, for the chooser.
void writeDemoApplications(const QString& folder) {
    const QList<std::tuple<QString, QString, QString>> entries{
        {"org.kde.kdenlive", "Kdenlive", "applications-multimedia"},
        {"shotcut_shotcut", "Shotcut", "video-x-generic"},
        {"org.blender.Blender", "Blender", "applications-graphics"},
        {"org.example.Files", "Files", "system-file-manager"},
        {"org.example.Terminal", "Terminal", "utilities-terminal"},
        {"org.example.TextEditor", "Text Editor", "accessories-text-editor"},
        {"org.example.ImageViewer", "Image Viewer", "image-x-generic"},
    };
    QDir().mkpath(folder);
    for (const auto& [id, name, icon] : entries) {
        QFile file(folder + u'/' + id + QStringLiteral(".desktop"));
        if (file.open(QIODevice::WriteOnly)) {
            file.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2\nIcon=%3\n")
                           .arg(name, id, icon)
                           .toUtf8());
        }
    }
}

TarnwellConfiguration demoConfiguration(const QList<AppTrigger>& presets) {
    TarnwellConfiguration configuration = TarnwellConfiguration::defaultConfiguration(presets);
    const QUuid first = triggerNamed(configuration, QStringLiteral("Kdenlive")).id;
    const QUuid second = triggerNamed(configuration, QStringLiteral("DaVinci Resolve")).id;
    const QUuid interviewer = triggerNamed(configuration, QStringLiteral("Shotcut")).id;
    StorageTargetRule backups = rule(QStringLiteral("Backups"), PostQuitAction::Off, {}, 6);
    backups.isEnabled = false;
    StorageTargetRule quiet = rule(QStringLiteral("B-Roll"), PostQuitAction::Off, {second}, 5);
    quiet.showNotifications = false;
    configuration.storageRules = {
        rule(QStringLiteral("Rushes"), PostQuitAction::Remind, {first, second}, 0),
        rule(QStringLiteral("Interviews"), PostQuitAction::Remind, {interviewer}, 1),
        rule(QStringLiteral("Archive"), PostQuitAction::AutoUnmount, {first}, 2),
        rule(QStringLiteral("Grading"), PostQuitAction::AutoUnmount, {second}, 3),
        rule(QStringLiteral("Proxies"), PostQuitAction::Off, {}, 4),
        quiet,
        backups,
    };
    return configuration;
}

// A check of the machine around Tarnwell with a fixed answer, so the pictures show every state the
// same way on any machine.
class DemoProbe : public HealthProbing {
public:
    explicit DemoProbe(HealthCheck check)
        : m_check(std::move(check)) {}

    QString title() const override { return m_check.title; }
    QCoro::Task<HealthCheck> check(HealthInputs) override { co_return m_check; }

private:
    HealthCheck m_check;
};

DiagnosticsViewModel::Probes demoProbes(const QString& diskToolPath, const QString& configurationPath,
                                        const std::shared_ptr<DiskServicing>& diskService) {
    HealthCheck mounting{
        QStringLiteral("Mounting"), HealthState::NeedsAttention,
        QStringLiteral("UDisks2 2.10.1 answers, but polkit asks for a password to mount."),
        QStringLiteral("Ask your administrator for a polkit rule that allows the action, such "
                       "as the one below.")};
    mounting.version = QStringLiteral("2.10.1");
    mounting.details =
        QStringLiteral("polkit action: %1\nAnswer: a password is needed (challenge)\n"
                       "Example rule, in /etc/polkit-1/rules.d/50-tarnwell-mount.rules:\n%2")
            .arg(QString::fromLatin1(MountingProbe::mountAction), MountingProbe::exampleRule("alex"));
    return {
        std::make_shared<DiskToolProbe>(diskToolPath),
        std::make_shared<DemoProbe>(mounting),
        std::make_shared<DemoProbe>(HealthCheck{QStringLiteral("Notifications"), HealthState::Fine,
                                                QStringLiteral("Plasma 6.2.4 shows notifications.")}),
        std::make_shared<DemoProbe>(HealthCheck{QStringLiteral("Tray"), HealthState::Fine,
                                                QStringLiteral("A StatusNotifierItem host shows Tarnwell's "
                                                               "tray icon.")}),
        std::make_shared<DemoProbe>(HealthCheck{
            QStringLiteral("Launch at login"), HealthState::NeedsAttention,
            QStringLiteral("The autostart entry starts /opt/tarnwell-0.9/tarnwell, not this Tarnwell "
                           "(/usr/bin/tarnwell)."),
            QStringLiteral("Turn Launch at Login off and on again in Settings to write the entry afresh.")}),
        std::make_shared<EditorsProbe>(nullptr),
        std::make_shared<ConfigurationProbe>(configurationPath),
        std::make_shared<DrivesProbe>(diskService)};
}

} // namespace

DemoSystem::DemoSystem(Configuration configuration, const QString& diskToolPath)
    : m_configuration(configuration) {
    const QString statePath = m_folder.filePath(QStringLiteral("disks.json"));
    QFile state(statePath);
    if (state.open(QIODevice::WriteOnly)) {
        state.write(QJsonDocument(demoDisks()).toJson());
    }
    qputenv("TARNWELL_FAKE_DISKUTIL_STATE", statePath.toUtf8());

    const QString applications = m_folder.filePath(QStringLiteral("applications"));
    writeDemoApplications(applications);
    auto catalog =
        std::make_shared<DesktopEntryCatalog>(QList<QString>{applications}, qEnvironmentVariable("PATH"));
    auto presets = std::make_shared<AppPresetService>(QList<std::shared_ptr<const PresetDiscovering>>{
        std::make_shared<DesktopEntryPresetDiscovery>(catalog)});
    auto preferences = std::make_shared<MemoryPreferences>();
    const TarnwellConfiguration stored =
        configuration == Configuration::Demo
            ? demoConfiguration(presets->defaultPresets())
            : TarnwellConfiguration::defaultConfiguration(presets->defaultPresets());
    preferences->values.insert(RuleService::configurationKey, JsonCoding::encodeDocument(stored));

    TarnwellContainer::Dependencies dependencies;
    dependencies.appPresetService = presets;
    dependencies.desktopEntries = catalog;
    dependencies.ruleService = std::make_shared<RuleService>(preferences, presets);
    dependencies.diskService = std::make_shared<DiskService>(
        diskToolPath, std::make_shared<ShellRunner>(), [statePath] { return demoMountPoints(statePath); },
        QStringList{QStringLiteral("/Volumes/")});
    if (configuration == Configuration::Demo) {
        dependencies.healthProbes = demoProbes(
            diskToolPath, m_folder.filePath(QStringLiteral("Tarnwell.conf")), dependencies.diskService);
    }
    m_container = std::make_unique<TarnwellContainer>(std::move(dependencies));
}

DemoSystem::~DemoSystem() = default;

namespace {

// Brings the demo's rules to their states: the app of "Interviews" starts and quits, leaving its
// volume ready to unmount; "Archive" is tried and refuses; "Grading" is unmounted and is held.
QCoro::Task<> settleDemo(QPointer<TarnwellContainer> container, bool act, std::shared_ptr<bool> done) {
    try {
        co_await container->startupFinished();
        const QPointer<TarnwellController> controller = container ? container->controller() : nullptr;
        if (act && controller) {
            const TarnwellConfiguration configuration = container->configuration();
            const QString application =
                triggerNamed(configuration, QStringLiteral("Shotcut")).bundleIdentifiers.value(0);
            co_await controller->handleAppLaunched(application);
            co_await controller->handleAppTerminated(application);
            for (const StorageTargetRule& rule : configuration.storageRules) {
                if (rule.name == u"Archive") {
                    co_await controller->mountRule(rule.id);
                } else if (rule.name == u"Grading") {
                    co_await controller->unmountRuleSafely(rule.id);
                }
            }
        }
    } catch (const std::exception& error) {
        qWarning("The demo did not settle: %s", error.what());
    }
    *done = true;
}

} // namespace

void DemoSystem::settle() {
    auto done = std::make_shared<bool>(false);
    settleDemo(m_container.get(), m_configuration == Configuration::Demo, done);
    QElapsedTimer elapsed;
    elapsed.start();
    while (!*done && elapsed.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
}

} // namespace tarnwell
