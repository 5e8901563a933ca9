#include "support/UiSystem.h"

#include "core/automation/AppMonitorService.h"
#include "core/disk/DiskService.h"
#include "core/disk/ShellRunner.h"
#include "core/model/JsonCoding.h"
#include "core/model/RuleService.h"
#include "support/NoPresetDiscovery.h"
#include "support/ScriptedApplicationEventSource.h"
#include "support/TaskRunner.h"

#include <QJsonArray>

namespace tarnwell::testing {

QString UiSystem::volumeUUID(const QString& name) {
    return QUuid::createUuidV5(QUuid(), name).toString(QUuid::WithoutBraces).toUpper();
}

QJsonObject UiSystem::disks(const QStringList& volumeNames, const QStringList& mountedNames,
                            const QStringList& busyNames) {
    QJsonArray partitions;
    for (qsizetype index = 0; index < volumeNames.size(); ++index) {
        partitions.append(QJsonObject{{"deviceIdentifier", QStringLiteral("disk8s%1").arg(index + 1)},
                                      {"volumeName", volumeNames[index]},
                                      {"volumeUUID", volumeUUID(volumeNames[index])},
                                      {"filesystemName", "ExFAT"},
                                      {"mountPoint", mountedNames.contains(volumeNames[index])
                                                         ? "/Volumes/" + volumeNames[index]
                                                         : QString()},
                                      {"mountPath", "/Volumes/" + volumeNames[index]},
                                      {"busy", busyNames.contains(volumeNames[index])},
                                      {"busyProcess", "4242 (render)"}});
    }
    QJsonObject disk{{"deviceIdentifier", "disk8"},
                     {"internal", false},
                     {"busProtocol", "USB"},
                     {"content", "GUID_partition_scheme"},
                     {"partitions", partitions}};
    return QJsonObject{{"disks", QJsonArray{disk}}};
}

TarnwellConfiguration UiSystem::configuration(const QStringList& ruleNames) {
    TarnwellConfiguration configuration = TarnwellConfiguration::defaultConfiguration({});
    for (const QString& name : ruleNames) {
        StorageTargetRule rule;
        rule.id = QUuid::createUuid();
        rule.name = name;
        rule.target = LocalVolumeTarget{name, volumeUUID(name), {}, {}, {}, {}, true};
        configuration.storageRules.append(rule);
    }
    return configuration;
}

UiSystem::UiSystem(const TarnwellConfiguration& configuration, const QJsonObject& disks)
    : tool(disks) {
    preferences->values.insert(RuleService::configurationKey, JsonCoding::encodeDocument(configuration));
    TarnwellContainer::Dependencies dependencies;
    dependencies.appPresetService = presetsWithoutDiscovery();
    dependencies.ruleService = std::make_shared<RuleService>(preferences, dependencies.appPresetService);
    dependencies.diskService = std::make_shared<DiskService>(
        FakeDiskTool::executablePath(), std::make_shared<ShellRunner>(),
        tool.mountedVolumeLocationsFunction(), QStringList{QStringLiteral("/Volumes/")});
    dependencies.appMonitorService =
        std::make_shared<AppMonitorService>(std::make_shared<ScriptedApplicationEventSource>());
    dependencies.driveChanges = drives;
    container = std::make_unique<TarnwellContainer>(std::move(dependencies));
    runTask(container->startupFinished(), std::chrono::seconds(20));
    m_startupRuns = tool.invocations().size();
}

int UiSystem::runs(const QString& command) const {
    int count = 0;
    for (const QStringList& invocation : tool.invocations().mid(m_startupRuns)) {
        count += invocation.value(0) == command ? 1 : 0;
    }
    return count;
}

} // namespace tarnwell::testing
