#include "BenchmarkProcesses.h"
#include "platform/linux/ProcessApplicationEventSource.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

namespace {

using tarnwell::ProcessApplicationEventSource;
using tarnwell::ProcessIdentifier;

// One tick over the real process table when no process is new: the cost paid four times a second
// while nothing happens. On a busy machine some ticks still list the folders; the share of those is
// reported as "listed".
void pollTickWithNothingNew(benchmark::State& state) {
    tarnwell::bench::ProcessCrowd crowd(static_cast<int>(state.range(0)));
    ProcessApplicationEventSource source{ProcessIdentifier(tarnwell::bench::readCatalog())};
    source.startObserving();
    source.poll();
    qint64 listed = 0;
    for (auto _ : state) {
        source.poll();
        listed += source.lastPollListed() ? 1 : 0;
    }
    state.counters["processes"] = tarnwell::bench::ProcessCrowd::processCount();
    state.counters["listed"] = static_cast<double>(listed) / static_cast<double>(state.iterations());
}

// A tick that lists every process folder and finds nothing new: the price of the ticks the load
// average cannot spare. Before observing starts, every query brings the table up to date this way.
void listingTickWithNothingNew(benchmark::State& state) {
    tarnwell::bench::ProcessCrowd crowd(static_cast<int>(state.range(0)));
    ProcessApplicationEventSource source{ProcessIdentifier(tarnwell::bench::readCatalog())};
    benchmark::DoNotOptimize(source.runningApplications());
    for (auto _ : state) {
        benchmark::DoNotOptimize(source.runningApplications());
    }
    state.counters["processes"] = tarnwell::bench::ProcessCrowd::processCount();
}

BENCHMARK(pollTickWithNothingNew)->Arg(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(listingTickWithNothingNew)->Arg(500)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
