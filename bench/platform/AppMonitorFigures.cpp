// Prints the application monitor's launch and termination latency over real programs started from a
// desktop entry, and the processor time its poller uses while nothing happens.

#include "BenchmarkProcesses.h"
#include "platform/linux/ProcessApplicationEventSource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

using namespace tarnwell;

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values.at(std::min(index, values.size() - 1));
}

// Runs the event loop until the flag is set or the limit passes; returns the elapsed milliseconds.
double waitFor(const bool& flag, QElapsedTimer& clock, int limitMs) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (flag || clock.elapsed() > limitMs) {
            loop.quit();
        }
    });
    poll.start(1);
    if (!flag) {
        loop.exec();
    }
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

void pause(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

double processorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    const int launches = arguments.size() > 1 ? arguments.at(1).toInt() : 50;
    const int idleSeconds = arguments.size() > 2 ? arguments.at(2).toInt() : 30;

    QTemporaryDir folder;
    const QString program = folder.filePath(QStringLiteral("bin/tarnwell-bench-editor"));
    QDir().mkpath(folder.filePath(QStringLiteral("bin")));
    QDir().mkpath(folder.filePath(QStringLiteral("applications")));
    QFile::copy(QStringLiteral("/bin/sleep"), program);
    QFile entry(folder.filePath(QStringLiteral("applications/org.example.BenchEditor.desktop")));
    entry.open(QIODevice::WriteOnly);
    entry.write("[Desktop Entry]\nType=Application\nName=Bench Editor\nExec=tarnwell-bench-editor %F\n");
    entry.close();

    bench::ProcessCrowd crowd(500);
    QList<QString> directories{folder.filePath(QStringLiteral("applications"))};
    directories.append(DesktopEntryIndex::defaultApplicationDirectories());
    ProcessApplicationEventSource source{
        ProcessIdentifier(QStringLiteral("/proc"), directories, folder.filePath(QStringLiteral("bin")))};
    bool launched = false;
    bool terminated = false;
    QObject::connect(&source, &ApplicationEventSource::applicationLaunched,
                     [&](const RunningApplication& application) {
                         launched = launched || application.bundleIdentifier == u"org.example.BenchEditor";
                     });
    QObject::connect(
        &source, &ApplicationEventSource::applicationTerminated, [&](const RunningApplication& application) {
            terminated = terminated || application.bundleIdentifier == u"org.example.BenchEditor";
        });
    source.startObserving();

    std::vector<double> launchLatencies;
    std::vector<double> terminationLatencies;
    int missed = 0;
    for (int index = 0; index < launches; ++index) {
        // Programs start and end at moments unrelated to the poller's ticks; without the pauses,
        // each launch would follow the tick that saw the previous termination.
        pause(QRandomGenerator::global()->bounded(250));
        launched = terminated = false;
        QProcess child;
        QElapsedTimer clock;
        clock.start();
        child.start(program, {QStringLiteral("60")});
        child.waitForStarted();
        const double launchMs = waitFor(launched, clock, 2000);
        pause(QRandomGenerator::global()->bounded(250));
        clock.restart();
        child.kill();
        child.waitForFinished();
        const double terminationMs = waitFor(terminated, clock, 2000);
        if (!launched || !terminated) {
            ++missed;
            continue;
        }
        launchLatencies.push_back(launchMs);
        terminationLatencies.push_back(terminationMs);
    }

    QTextStream out(stdout);
    out << "processes in the table: " << bench::ProcessCrowd::processCount() << '\n';
    if (!launchLatencies.empty()) {
        out << "launch latency over " << launchLatencies.size() << " launches: p50 "
            << QString::number(percentile(launchLatencies, 0.5), 'f', 1) << " ms, p95 "
            << QString::number(percentile(launchLatencies, 0.95), 'f', 1) << " ms\n";
        out << "termination latency: p50 " << QString::number(percentile(terminationLatencies, 0.5), 'f', 1)
            << " ms, p95 " << QString::number(percentile(terminationLatencies, 0.95), 'f', 1) << " ms\n";
    }
    out << "launches missed: " << missed << '\n';
    out.flush();

    // Other work on the machine keeps starting processes, which the poller must look at.
    const auto lastPid = [] {
        QFile loadAverage(QStringLiteral("/proc/loadavg"));
        loadAverage.open(QIODevice::ReadOnly);
        return loadAverage.readAll().trimmed().split(' ').value(4).toLongLong();
    };
    const qint64 firstPid = lastPid();
    const double before = processorSeconds();
    QElapsedTimer wall;
    wall.start();
    QEventLoop idle;
    QTimer::singleShot(idleSeconds * 1000, &idle, &QEventLoop::quit);
    idle.exec();
    const double used = processorSeconds() - before;
    const double share = used / (static_cast<double>(wall.elapsed()) / 1000.0) * 100.0;
    out << "idle poller over " << idleSeconds << " s: " << QString::number(used * 1000.0, 'f', 1)
        << " ms of processor time, " << QString::number(share, 'f', 3) << "% of one core, while "
        << lastPid() - firstPid << " PIDs were handed out\n";
    return missed == 0 ? 0 : 1;
}
