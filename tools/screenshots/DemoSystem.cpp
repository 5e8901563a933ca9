#include "DemoSystem.h"

#include "core/automation/AppMonitorService.h"
#include "core/disk/DiskService.h"
#include "core/disk/ShellRunner.h"
#include "core/model/JsonCoding.h"
#include "core/model/PreferencesStoring.h"
#include "core/model/RuleService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>

namespace tarnwell {

namespace {

const QString rushesUUID = QStringLiteral("6F1D2C3B-4A59-4E68-9A7B-0C1D2E3F4A5B");
const QString archiveUUID = QStringLiteral("7A2E3D4C-5B6A-4F79-8B8C-1D2E3F4A5B6C");
const QString proxiesUUID = QStringLiteral("8B3F4E5D-6C7B-4A8A-9C9D-2E3F4A5B6C7D");

class MemoryPreferences : public PreferencesStoring {
public:
    std::optional<QByteArray> data(const QString& key) const override {
        return values.contains(key) ? std::optional(values.value(key)) : std::nullopt;
    }
    void setData(const QString& key, const QByteArray& value) override { values.insert(key, value); }

    QHash<QString, QByteArray> values;
};

// Two volumes on one USB disk: "Rushes" mounted, "Archive" refusing to mount.
const char* demoDisks = R"({
  "disks": [{"deviceIdentifier": "disk8", "internal": false, "busProtocol": "USB",
             "content": "GUID_partition_scheme",
             "partitions": [
               {"deviceIdentifier": "disk8s1", "volumeName": "Rushes", "volumeUUID": "%1",
                "filesystemName": "ExFAT", "mountPoint": "/Volumes/Rushes"},
               {"deviceIdentifier": "disk8s2", "volumeName": "Archive", "volumeUUID": "%2",
                "filesystemName": "ExFAT", "mountPoint": "", "mountable": false}]}]
})";

StorageTargetRule rule(const QString& name, const QString& uuid, PostQuitAction action, QList<QUuid> apps,
                       int order) {
    StorageTargetRule result;
    result.id = QUuid::createUuid();
    result.name = name;
    result.target =
        LocalVolumeTarget{name, uuid, {}, QStringLiteral("ExFAT"), {}, QStringLiteral("USB"), true};
    result.appTriggerIDs = std::move(apps);
    result.postQuitAction = action;
    result.unmountDelaySeconds = 30;
    result.sortOrder = order;
    return result;
}

TarnwellConfiguration demoConfiguration(const QList<AppTrigger>& presets) {
    TarnwellConfiguration configuration = TarnwellConfiguration::defaultConfiguration(presets);
    const QUuid first = configuration.appTriggers.value(0).id;
    const QUuid second = configuration.appTriggers.value(1).id;
    configuration.storageRules = {
        rule(QStringLiteral("Rushes"), rushesUUID, PostQuitAction::Remind, {first, second}, 0),
        rule(QStringLiteral("Archive"), archiveUUID, PostQuitAction::AutoUnmount, {first}, 1),
        rule(QStringLiteral("Proxies"), proxiesUUID, PostQuitAction::Off, {}, 2),
    };
    return configuration;
}

} // namespace

DemoSystem::DemoSystem(Configuration configuration, const QString& diskToolPath)
    : m_configuration(configuration) {
    const QString statePath = m_folder.filePath(QStringLiteral("disks.json"));
    QFile state(statePath);
    if (state.open(QIODevice::WriteOnly)) {
        state.write(QString::fromLatin1(demoDisks).arg(rushesUUID, archiveUUID).toUtf8());
    }
    qputenv("TARNWELL_FAKE_DISKUTIL_STATE", statePath.toUtf8());

    auto presets = std::make_shared<AppPresetService>(QList<std::shared_ptr<const PresetDiscovering>>{});
    auto preferences = std::make_shared<MemoryPreferences>();
    const TarnwellConfiguration stored =
        configuration == Configuration::Demo
            ? demoConfiguration(presets->defaultPresets())
            : TarnwellConfiguration::defaultConfiguration(presets->defaultPresets());
    preferences->values.insert(RuleService::configurationKey, JsonCoding::encodeDocument(stored));

    TarnwellContainer::Dependencies dependencies;
    dependencies.appPresetService = presets;
    dependencies.ruleService = std::make_shared<RuleService>(preferences, presets);
    dependencies.diskService = std::make_shared<DiskService>(
        diskToolPath, std::make_shared<ShellRunner>(),
        [] { return QStringList{QStringLiteral("/Volumes/Rushes")}; },
        QStringList{QStringLiteral("/Volumes/")});
    m_container = std::make_unique<TarnwellContainer>(std::move(dependencies));
}

DemoSystem::~DemoSystem() = default;

namespace {

QCoro::Task<> settleDemo(QPointer<TarnwellContainer> container, bool mount, std::shared_ptr<bool> done) {
    try {
        co_await container->startupFinished();
        // Only the refusing volume is tried, so the third rule keeps its missing target.
        if (mount && container && container->controller()) {
            const QList<StorageTargetRule> rules = container->configuration().storageRules;
            for (const StorageTargetRule& rule : rules) {
                if (rule.name == QStringLiteral("Archive")) {
                    co_await container->controller()->mountRule(rule.id);
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
