// Prints how long the application takes from building its services to the end of its first status
// refresh, with two rules over the fake disk tool, which runs as a real child process for every
// query. The same is measured from process start by running this program once per sample with
// --once, which answers on standard output as soon as start-up has finished.
//
// Usage: tarnwell_bench_startup [runs = 20]

#include "TwoRuleConfiguration.h"
#include "app/TarnwellContainer.h"
#include "core/disk/DiskService.h"
#include "core/disk/ShellRunner.h"
#include "core/model/JsonCoding.h"
#include "core/model/RuleService.h"
#include "support/FakeDiskTool.h"
#include "support/InMemoryPreferencesStore.h"
#include "support/ScriptedApplicationEventSource.h"
#include "support/TaskRunner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace std::chrono_literals;

const QString mountedUUID = QStringLiteral("5A0E61A4-0C1B-4B59-8A4F-6E0C1D2F3A4B");
const QString unmountedUUID = QStringLiteral("9C3D2B1A-7F6E-4D5C-8B9A-0F1E2D3C4B5A");

class NoDiscovery : public PresetDiscovering {
public:
    QList<QString> discoverIdentifiers(const PresetCandidate&) const override { return {}; }
};

class SilentNotificationService : public NotificationServicing {
public:
    QCoro::Task<> requestAuthorizationIfNeeded() override { co_return; }
    QCoro::Task<> notify(QString, QString, bool) override { co_return; }
};

class FixedLoginItem : public LoginItemServicing {
public:
    bool isLaunchAtLoginEnabled() const override { return false; }
    void setLaunchAtLogin(bool) override {}
};

// One external disk with the first volume mounted and the second not.
QJsonObject machine() {
    return QJsonDocument::fromJson(QStringLiteral(R"({
      "disks": [{"deviceIdentifier": "disk8", "internal": false, "busProtocol": "USB",
                 "content": "GUID_partition_scheme",
                 "partitions": [{"deviceIdentifier": "disk8s1", "content": "Microsoft Basic Data",
                                 "volumeName": "Rushes", "volumeUUID": "%1", "filesystemName": "ExFAT",
                                 "mountPoint": "/Volumes/Rushes", "mountPath": "/Volumes/Rushes"},
                                {"deviceIdentifier": "disk8s2", "content": "Microsoft Basic Data",
                                 "volumeName": "Archive", "volumeUUID": "%2", "filesystemName": "ExFAT",
                                 "mountPoint": "", "mountPath": "/Volumes/Archive"}]}]
    })")
                                       .arg(mountedUUID, unmountedUUID)
                                       .toUtf8())
        .object();
}

struct Run {
    double milliseconds = 0;
    QList<StorageTargetState> states;
};

// Builds every service and the container, and waits for the container's start-up to finish.
Run startOnce(const FakeDiskTool& tool) {
    QElapsedTimer clock;
    clock.start();
    auto preferences = std::make_shared<InMemoryPreferencesStore>();
    preferences->values.insert(
        RuleService::configurationKey,
        JsonCoding::encodeDocument(bench::twoRuleConfiguration(mountedUUID, unmountedUUID)));
    TarnwellContainer::Dependencies dependencies;
    dependencies.appPresetService = std::make_shared<AppPresetService>(
        QList<std::shared_ptr<const PresetDiscovering>>{std::make_shared<NoDiscovery>()});
    dependencies.ruleService = std::make_shared<RuleService>(preferences, dependencies.appPresetService);
    dependencies.diskService = std::make_shared<DiskService>(
        FakeDiskTool::executablePath(), std::make_shared<ShellRunner>(),
        tool.mountedVolumeLocationsFunction(), QStringList{QStringLiteral("/Volumes/")});
    dependencies.notificationService = std::make_shared<SilentNotificationService>();
    dependencies.appMonitorService =
        std::make_shared<AppMonitorService>(std::make_shared<ScriptedApplicationEventSource>());
    dependencies.logger = std::make_shared<LogService>();
    dependencies.loginItemService = std::make_shared<FixedLoginItem>();
    TarnwellContainer container(std::move(dependencies));
    runTask(container.startupFinished(), 20s);
    Run run;
    run.milliseconds = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    run.states = container.controller()->targetStates();
    return run;
}

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values.at(std::min(index, values.size() - 1));
}

void printFigures(const char* title, const std::vector<double>& values) {
    std::printf("  %s: median %.1f ms, p95 %.1f ms, min %.1f ms, max %.1f ms over %zu runs "
                "(goal <= 300 ms)\n",
                title, percentile(values, 0.5), percentile(values, 0.95),
                *std::min_element(values.begin(), values.end()),
                *std::max_element(values.begin(), values.end()), values.size());
}

// The refresh counts only if it reached the disk tool for both rules.
bool bothRulesRefreshed(const QList<StorageTargetState>& states) {
    return states.size() == 2 && states[0].status == StorageTargetRuntimeStatus::mounted() &&
           states[1].status == StorageTargetRuntimeStatus::notMounted();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    // The activity lines would drown the figures.
    QLoggingCategory::setFilterRules(QStringLiteral("tarnwell.activity=false"));
    const QStringList arguments = application.arguments();
    FakeDiskTool tool(machine());

    if (arguments.contains(QStringLiteral("--once"))) {
        const Run run = startOnce(tool);
        std::printf("%s\n", bothRulesRefreshed(run.states) ? "ready" : "wrong status");
        std::fflush(stdout);
        return bothRulesRefreshed(run.states) ? 0 : 1;
    }

    const int runs = arguments.size() > 1 ? arguments.at(1).toInt() : 20;
    if (runs <= 0) {
        std::fprintf(stderr, "The number of runs must be positive.\n");
        return 2;
    }

    // The first run pays for loading the fake tool from disk; it is shown apart.
    const Run cold = startOnce(tool);
    std::vector<double> inProcess;
    for (int index = 0; index < runs; ++index) {
        const Run run = startOnce(tool);
        if (!bothRulesRefreshed(run.states)) {
            std::fprintf(stderr, "Start-up finished without the expected statuses.\n");
            return 1;
        }
        inProcess.push_back(run.milliseconds);
    }
    const int toolRuns = static_cast<int>(tool.invocations().size());

    std::vector<double> fromProcessStart;
    for (int index = 0; index < runs; ++index) {
        QProcess child;
        child.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--once")});
        QByteArray answer;
        while (!answer.contains('\n') && child.waitForReadyRead(20000)) {
            answer += child.readAllStandardOutput();
        }
        const double milliseconds = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        child.waitForFinished(20000);
        if (answer.trimmed() != "ready") {
            std::fprintf(stderr, "A start-up run from process start failed: %s\n", answer.constData());
            return 1;
        }
        fromProcessStart.push_back(milliseconds);
    }

    std::printf("Start-up to the first completed status refresh, two rules over the fake disk tool\n");
    std::printf("  first run in this process: %.1f ms\n", cold.milliseconds);
    printFigures("in process, services built to start-up finished", inProcess);
    printFigures("from process start (exec to answer)", fromProcessStart);
    std::printf("  disk tool runs per start-up: %.1f\n",
                static_cast<double>(toolRuns) / static_cast<double>(runs + 1));
    return 0;
}
