// Measures how long the controller takes to handle one launch, from the notification to the end of
// its mounts, when the storage service answers at once: the controller's own share of the latency
// between an application starting and its volumes being mounted.

#include "core/automation/TarnwellController.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

namespace tarnwell {
namespace {

class InstantStorageTargetService : public StorageTargetServicing {
public:
    explicit InstantStorageTargetService(StorageTargetRuntimeStatus answer)
        : m_answer(std::move(answer)) {}

    QCoro::Task<StorageTargetRuntimeStatus> status(StorageTarget) override { co_return m_answer; }
    QCoro::Task<> mount(StorageTarget) override {
        ++mounts;
        co_return;
    }
    QCoro::Task<> unmount(StorageTarget) override { co_return; }

    qint64 mounts = 0;

private:
    StorageTargetRuntimeStatus m_answer;
};

class SilentNotifier : public TarnwellNotifying {
public:
    QCoro::Task<> notify(QString, QString, bool) override { co_return; }
};

class CountingLogger : public TarnwellLogging {
public:
    void record(const QString&) override { ++lines; }
    qint64 lines = 0;
};

const QString launchedIdentifier = QStringLiteral("org.example.editor");

// 50 triggers and 200 rules; the launched identifier belongs to the first trigger, which 10 rules
// name (each beside another trigger), so the lookup walks every rule and every trigger.
TarnwellConfiguration benchmarkConfiguration() {
    TarnwellConfiguration configuration;
    for (int index = 0; index < 50; ++index) {
        const QString identifier =
            index == 0 ? launchedIdentifier : QStringLiteral("org.example.app%1").arg(index);
        configuration.appTriggers.append(AppTrigger{QUuid::createUuid(),
                                                    QStringLiteral("App %1").arg(index),
                                                    {identifier, identifier + QStringLiteral(".beta")},
                                                    true,
                                                    false,
                                                    std::nullopt});
    }
    for (int index = 0; index < 200; ++index) {
        StorageTargetRule rule;
        rule.id = QUuid::createUuid();
        rule.name = QStringLiteral("Rule %1").arg(index);
        rule.target = LocalVolumeTarget{QStringLiteral("Volume %1").arg(index),
                                        QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(),
                                        std::nullopt,
                                        std::nullopt,
                                        std::nullopt,
                                        std::nullopt,
                                        true};
        const auto other = configuration.appTriggers[1 + index % 49].id;
        rule.appTriggerIDs =
            index % 20 == 0 ? QList<QUuid>{configuration.appTriggers[0].id, other} : QList<QUuid>{other};
        rule.sortOrder = index;
        configuration.storageRules.append(rule);
    }
    return configuration;
}

void runLaunches(benchmark::State& state, StorageTargetRuntimeStatus answer) {
    auto service = std::make_shared<InstantStorageTargetService>(answer);
    auto logger = std::make_shared<CountingLogger>();
    TarnwellController controller(
        benchmarkConfiguration(), service, std::make_shared<SilentNotifier>(), logger,
        [] { return QSet<QString>{launchedIdentifier}; }, TarnwellController::timerDelay);
    for (auto _ : state) {
        auto launch = controller.handleAppLaunched(launchedIdentifier);
        if (!launch.isReady()) {
            state.SkipWithError("The launch suspended although the service answers at once.");
            break;
        }
    }
    state.counters["mounts/launch"] =
        benchmark::Counter(static_cast<double>(service->mounts) / static_cast<double>(state.iterations()));
}

// Every bound target needs mounting: status, mount, state updates, log line and notification.
void BM_LaunchMountsTenOfTwoHundredRules(benchmark::State& state) {
    runLaunches(state, StorageTargetRuntimeStatus::notMounted());
}
BENCHMARK(BM_LaunchMountsTenOfTwoHundredRules)->Unit(benchmark::kMicrosecond);

// Every bound target is already mounted: the launch only checks and records.
void BM_LaunchFindsTenOfTwoHundredRulesMounted(benchmark::State& state) {
    runLaunches(state, StorageTargetRuntimeStatus::mounted());
}
BENCHMARK(BM_LaunchFindsTenOfTwoHundredRulesMounted)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace tarnwell

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
