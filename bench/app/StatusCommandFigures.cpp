// Prints how long `tarnwell --status` takes from process start to exit while Tarnwell runs, which
// is what a script or a desktop extension polling it pays, and the same without a running instance,
// when the command reads the configuration and the drives itself. Tarnwell runs headless with two
// rules in a temporary home, on a session bus of the benchmark's own.
//
// Usage: tarnwell_bench_status_command [runs = 50] [path of tarnwell]

#include "TwoRuleConfiguration.h"
#include "core/model/JsonCoding.h"
#include "core/model/RuleService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace tarnwell;

struct Figures {
    double median = 0;
    double p95 = 0;
    double max = 0;
};

Figures figures(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const auto at = [&samples](double share) {
        return samples[std::min(samples.size() - 1, static_cast<size_t>(share * samples.size()))];
    };
    return {at(0.5), at(0.95), samples.back()};
}

// Runs `tarnwell --status` the given number of times; an empty result when one run failed.
std::vector<double> timeStatus(const QString& tarnwell, const QProcessEnvironment& environment, int runs) {
    std::vector<double> samples;
    for (int run = 0; run < runs; ++run) {
        QProcess status;
        status.setProcessEnvironment(environment);
        QElapsedTimer clock;
        clock.start();
        status.start(tarnwell, {QStringLiteral("--status")});
        if (!status.waitForFinished(10000) || status.exitStatus() != QProcess::NormalExit) {
            return {};
        }
        samples.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    return samples;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    const QString tarnwell = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral(TARNWELL_EXECUTABLE);

    QTemporaryDir home;
    const QString configHome = QDir(home.path()).filePath(QStringLiteral("config"));
    {
        QSettings settings(QDir(configHome).filePath(QStringLiteral("Tarnwell/Tarnwell.conf")),
                           QSettings::NativeFormat);
        settings.setValue(RuleService::configurationKey,
                          JsonCoding::encodeDocument(bench::twoRuleConfiguration(
                              QUuid::createUuid().toString(QUuid::WithoutBraces),
                              QUuid::createUuid().toString(QUuid::WithoutBraces))));
    }
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"),
              {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    if (!bus.waitForStarted() || !bus.waitForReadyRead(10000)) {
        std::fprintf(stderr, "Cannot start a session bus.\n");
        return 1;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QString::fromUtf8(bus.readLine()).trimmed());
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));

    const std::vector<double> alone = timeStatus(tarnwell, environment, runs);

    QProcess instance;
    QProcessEnvironment instanceEnvironment = environment;
    instanceEnvironment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    instance.setProcessEnvironment(instanceEnvironment);
    instance.start(tarnwell, {QStringLiteral("--background")});
    // The instance answers once it has taken its name and published its interface; a few runs
    // first, so that both the instance and the page cache have settled.
    QThread::sleep(3);
    timeStatus(tarnwell, environment, 5);
    const std::vector<double> running = timeStatus(tarnwell, environment, runs);
    // Only a running instance accepts --open; without one the figures above would be the others.
    QProcess open;
    open.setProcessEnvironment(environment);
    open.start(tarnwell, {QStringLiteral("--open")});
    const bool answered = open.waitForFinished(10000) && open.exitCode() == 0;
    instance.terminate();
    instance.waitForFinished(10000);
    bus.kill();
    bus.waitForFinished();
    if (alone.empty() || running.empty() || !answered) {
        std::fprintf(stderr, "A run of tarnwell --status failed, or Tarnwell did not run.\n");
        return 1;
    }
    const Figures withInstance = figures(running);
    const Figures withoutInstance = figures(alone);
    std::printf("tarnwell --status, %d runs, Tarnwell running: median %.1f ms, p95 %.1f ms, max %.1f ms\n",
                runs, withInstance.median, withInstance.p95, withInstance.max);
    std::printf("tarnwell --status, %d runs, no instance (reads the drives): median %.1f ms, p95 %.1f ms, "
                "max %.1f ms\n",
                runs, withoutInstance.median, withoutInstance.p95, withoutInstance.max);
    return withInstance.p95 <= 50 ? 0 : 2;
}
