// Prints the resident memory and processor time of the headless application while it sits idle with
// two rules configured. The application runs in a temporary home, so no real configuration is read
// or written, and must end with status 0 when asked to terminate.
//
// Usage: tarnwell_bench_idle [idle seconds = 60] [path of tarnwell]

#include "TwoRuleConfiguration.h"
#include "core/model/JsonCoding.h"
#include "core/model/RuleService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <optional>
#include <unistd.h>

namespace {

using namespace tarnwell;

struct Sample {
    double residentMegabytes = 0;
    double peakResidentMegabytes = 0;
    // Processor seconds of the process itself and of the children it has reaped (disk tool runs).
    double ownSeconds = 0;
    double childSeconds = 0;
};

double statusMegabytes(const QByteArray& status, const QByteArray& field) {
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith(field + ':')) {
            const QList<QByteArray> parts = line.mid(field.size() + 1).simplified().split(' ');
            return parts.value(0).toDouble() / 1024.0;
        }
    }
    return 0;
}

std::optional<Sample> sample(qint64 pid) {
    QFile statusFile(QStringLiteral("/proc/%1/status").arg(pid));
    QFile statFile(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!statusFile.open(QIODevice::ReadOnly) || !statFile.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray status = statusFile.readAll();
    const QByteArray stat = statFile.readAll();
    // The command name may contain spaces; the numbered fields start after its closing parenthesis.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 15) {
        return std::nullopt;
    }
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    Sample result;
    result.residentMegabytes = statusMegabytes(status, "VmRSS");
    result.peakResidentMegabytes = statusMegabytes(status, "VmHWM");
    // Fields 14 to 17 of the stat line, counted from the process identifier as field 1.
    result.ownSeconds = (fields[11].toDouble() + fields[12].toDouble()) / ticks;
    result.childSeconds = (fields[13].toDouble() + fields[14].toDouble()) / ticks;
    return result;
}

// Stores the configuration where the application's settings store will look for it under the
// temporary home.
bool storeConfiguration(const QString& configHome) {
    const QString path = QDir(configHome).filePath(QStringLiteral("Tarnwell/Tarnwell.conf"));
    QSettings settings(path, QSettings::NativeFormat);
    settings.setValue(RuleService::configurationKey,
                      JsonCoding::encodeDocument(bench::twoRuleConfiguration(
                          QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(),
                          QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper())));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    const int idleSeconds = arguments.size() > 1 ? arguments.at(1).toInt() : 60;
    const QString program = arguments.size() > 2 ? arguments.at(2) : QStringLiteral(TARNWELL_EXECUTABLE);
    if (idleSeconds <= 0) {
        std::fprintf(stderr, "The idle time must be a positive number of seconds.\n");
        return 2;
    }

    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "Cannot create a temporary home.\n");
        return 1;
    }
    const QString configHome = home.filePath(QStringLiteral(".config"));
    const QString dataHome = home.filePath(QStringLiteral(".local/share"));
    const QString cacheHome = home.filePath(QStringLiteral(".cache"));
    for (const QString& folder : {configHome, dataHome, cacheHome}) {
        QDir().mkpath(folder);
    }
    if (!storeConfiguration(configHome)) {
        std::fprintf(stderr, "Cannot store the configuration under %s.\n", qPrintable(configHome));
        return 1;
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), cacheHome);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(home.filePath(QStringLiteral("tarnwell.log")));
    process.start(program, {});
    if (!process.waitForStarted(10000)) {
        std::fprintf(stderr, "Cannot start %s: %s\n", qPrintable(program), qPrintable(process.errorString()));
        return 1;
    }
    const qint64 pid = process.processId();

    // Start-up is over once both rules have a status; the idle window begins a second later so that
    // the first refresh's work is not counted.
    QElapsedTimer startup;
    startup.start();
    QFile log(home.filePath(QStringLiteral("tarnwell.log")));
    bool refreshed = false;
    while (!refreshed && startup.elapsed() < 20000) {
        if (log.open(QIODevice::ReadOnly)) {
            refreshed = log.readAll().count("Drive status for ") >= 2;
            log.close();
            if (refreshed) {
                break;
            }
        }
        if (process.waitForFinished(20)) {
            std::fprintf(stderr, "tarnwell ended during start-up with status %d.\n", process.exitCode());
            return 1;
        }
    }
    const double startupMs = static_cast<double>(startup.elapsed());
    if (!refreshed) {
        std::fprintf(stderr, "tarnwell did not report a status for both rules within 20 s.\n");
        process.terminate();
        process.waitForFinished(10000);
        return 1;
    }
    QThread::sleep(1);

    const std::optional<Sample> first = sample(pid);
    if (!first) {
        std::fprintf(stderr, "Cannot read /proc for process %lld.\n", pid);
        return 1;
    }
    QElapsedTimer window;
    window.start();
    double minimumMegabytes = first->residentMegabytes;
    double maximumMegabytes = first->residentMegabytes;
    Sample last = *first;
    for (int second = 0; second < idleSeconds; ++second) {
        QThread::sleep(1);
        const std::optional<Sample> current = sample(pid);
        if (!current) {
            std::fprintf(stderr, "tarnwell ended while idle.\n");
            return 1;
        }
        last = *current;
        minimumMegabytes = std::min(minimumMegabytes, last.residentMegabytes);
        maximumMegabytes = std::max(maximumMegabytes, last.residentMegabytes);
    }
    const double seconds = static_cast<double>(window.elapsed()) / 1000.0;
    const double ownPercent = 100.0 * (last.ownSeconds - first->ownSeconds) / seconds;
    const double childPercent = 100.0 * (last.childSeconds - first->childSeconds) / seconds;

    process.terminate();
    const bool ended = process.waitForFinished(10000);
    const bool clean = ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;

    std::printf("Headless tarnwell, two rules, %.1f s idle (sampled every second)\n", seconds);
    std::printf("  start-up until both rules had a status: %.0f ms (log polled every 20 ms)\n", startupMs);
    std::printf("  resident memory: %.1f MB at start, %.1f MB at end, %.1f-%.1f MB over the window, "
                "%.1f MB peak (goal <= 40 MB)\n",
                first->residentMegabytes, last.residentMegabytes, minimumMegabytes, maximumMegabytes,
                last.peakResidentMegabytes);
    std::printf("  processor: %.3f %% of one core (goal <= 0.2 %%), reaped children %.3f %%; "
                "clock tick %ld Hz\n",
                ownPercent, childPercent, sysconf(_SC_CLK_TCK));
    if (!ended) {
        std::printf("  SIGTERM: still running after 10 s\n");
        process.kill();
        process.waitForFinished(5000);
        return 1;
    }
    std::printf("  SIGTERM: %s (status %d)\n", clean ? "exited cleanly" : "did not exit cleanly",
                process.exitCode());
    return clean ? 0 : 1;
}
