// Prints, for the poller alone (file watches refused, as on a kernel without them) and for the
// watching monitor, in one run on the same machine: the launch and termination latency over real
// programs started from a desktop entry, the processor time used while nothing happens and while
// other programs start and the watched program is read, the launches and quits missed in random
// start/stop sequences against what the benchmark did, and the latency over every shape editors
// start in (wrappers, launchers, portable images, sandboxes).

#include "BenchmarkProcesses.h"
#include "LaunchShapes.h"
#include "platform/linux/ProcessApplicationEventSource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <optional>
#include <sys/resource.h>
#include <thread>

namespace {

using namespace tarnwell;
using Clock = std::chrono::steady_clock;

// Today's monitor: without file watches the source polls every 250 ms, as it always did.
class NoFileWatches : public KernelWatchService {
public:
    int openFileWatches() override {
        errno = ENOSYS;
        return -1;
    }
};

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const auto index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values.at(std::min(index, values.size() - 1));
}

// Runs the event loop until the condition holds or the limit passes.
template <typename Condition> void runUntil(Condition condition, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition() || clock.elapsed() > limitMs) {
            loop.quit();
        }
    });
    poll.setTimerType(Qt::PreciseTimer);
    poll.start(1);
    if (!condition()) {
        loop.exec();
    }
}

// Runs the event loop with nothing else to do for a while.
void pause(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

double milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

struct Event {
    Clock::time_point at;
    bool launched;
};

// One start/stop sequence: one to three overlapping instances, each living a few milliseconds or
// up to 150 ms. The application runs from the first start to the last end.
struct Sequence {
    Clock::time_point firstStart;
    Clock::time_point lastEnd;
};

// Runs the sequences on a thread of their own, so that the event loop watches as it would while
// a desktop starts programs; a pause between two sequences lets the quit be told apart.
std::vector<Sequence> runSequences(const QByteArray& program, int count, std::atomic<bool>& done) {
    std::vector<Sequence> sequences;
    auto* random = QRandomGenerator::global();
    char duration[] = "60";
    for (int index = 0; index < count; ++index) {
        Sequence sequence;
        struct Instance {
            pid_t pid;
            Clock::time_point end;
        };
        std::vector<Instance> instances;
        const int size = 1 + static_cast<int>(random->bounded(3));
        for (int instance = 0; instance < size; ++instance) {
            char* arguments[] = {const_cast<char*>(program.constData()), duration, nullptr};
            pid_t pid = 0;
            const auto started = Clock::now();
            if (::posix_spawn(&pid, program.constData(), nullptr, nullptr, arguments, environ) != 0) {
                continue;
            }
            if (instance == 0) {
                sequence.firstStart = started;
            }
            const int lifetime = random->bounded(100) < 40 ? 2 + static_cast<int>(random->bounded(7))
                                                           : 10 + static_cast<int>(random->bounded(140));
            // A lifetime counts from the moment the program runs: posix_spawn returns once exec did.
            instances.push_back({pid, Clock::now() + std::chrono::milliseconds(lifetime)});
            std::this_thread::sleep_for(std::chrono::milliseconds(random->bounded(4)));
        }
        std::sort(instances.begin(), instances.end(),
                  [](const Instance& left, const Instance& right) { return left.end < right.end; });
        for (const Instance& instance : instances) {
            std::this_thread::sleep_until(instance.end);
            ::kill(instance.pid, SIGKILL);
            ::waitpid(instance.pid, nullptr, 0);
            sequence.lastEnd = Clock::now();
        }
        sequences.push_back(sequence);
        std::this_thread::sleep_for(std::chrono::milliseconds(40 + random->bounded(40)));
    }
    done = true;
    return sequences;
}

struct Figures {
    std::vector<double> launchLatencies;
    std::vector<double> terminationLatencies;
    int latencyMissed = 0;
    int sequences = 0;
    int missedLaunches = 0;
    int missedQuits = 0;
    int extraEvents = 0;
    // Sequences with a launch or a quit missed that ran less than 10 ms from first start to last end.
    int missedShort = 0;
    // Sequences with one missed while the monitor's thread did not run for half their time or more.
    int missedWhileAway = 0;
    // How often, over the sequences, the monitor's thread did not run for 2 ms or more, and the longest.
    int away = 0;
    double longestAway = 0.0;
    // The machine's load average when the measurement ended: the other work it competed with.
    QByteArray load;
};

QList<QByteArray> loadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    file.open(QIODevice::ReadOnly);
    return file.readAll().trimmed().split(' ');
}

qint64 lastPid() {
    return loadAverage().value(4).toLongLong();
}

const QString benchId = QStringLiteral("org.example.BenchEditor");

std::unique_ptr<ProcessApplicationEventSource> makeSource(bool watching, const QList<QString>& directories,
                                                          const QString& bin) {
    auto source = std::make_unique<ProcessApplicationEventSource>(
        ProcessIdentifier(bench::readCatalog(directories, bin), QStringLiteral("/proc"), bin), ::geteuid(),
        watching ? std::shared_ptr<KernelWatching>(std::make_shared<KernelWatchService>())
                 : std::make_shared<NoFileWatches>());
    source->startObserving();
    source->watchApplications({benchId});
    return source;
}

double threadProcessorMs() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// Unrelated work while the monitors idle: about 40 programs a second that are none of the watched
// applications, and a read of the watched program twice a second, as an indexer or a backup does.
class Churn {
public:
    explicit Churn(QByteArray watchedProgram)
        : m_thread([this, program = std::move(watchedProgram)] {
            char unrelated[] = "/bin/true";
            char* arguments[] = {unrelated, nullptr};
            for (int beat = 0; !m_stop; ++beat) {
                pid_t child = 0;
                if (::posix_spawn(&child, unrelated, nullptr, nullptr, arguments, environ) == 0) {
                    ::waitpid(child, nullptr, 0);
                }
                if (beat % 20 == 0) {
                    QFile read(QFile::decodeName(program));
                    read.open(QIODevice::ReadOnly);
                    read.read(4096);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(25));
            }
        }) {}
    ~Churn() {
        m_stop = true;
        m_thread.join();
    }
    Churn(const Churn&) = delete;
    Churn& operator=(const Churn&) = delete;

private:
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};

// Both monitors idle side by side, each on a thread of its own, so that both look at the same
// processes that other work on the machine starts over the same time; each thread's processor time
// is its monitor's. With a watched program, other programs start and that one is read meanwhile.
void measureIdle(QTextStream& out, const QList<QString>& directories, const QString& bin, int idleSeconds,
                 const QString& churnWithReadsOf = {}) {
    QThread threads[2];
    QObject contexts[2];
    std::unique_ptr<ProcessApplicationEventSource> sources[2];
    double used[2] = {0.0, 0.0};
    const auto onThread = [&](int index, const std::function<void()>& work) {
        QMetaObject::invokeMethod(&contexts[index], work, Qt::BlockingQueuedConnection);
    };
    for (int index = 0; index < 2; ++index) {
        contexts[index].moveToThread(&threads[index]);
        threads[index].start();
        onThread(index, [&, index] { sources[index] = makeSource(index == 1, directories, bin); });
    }
    pause(2000);
    const qint64 firstPid = lastPid();
    for (int index = 0; index < 2; ++index) {
        onThread(index, [&, index] { used[index] = -threadProcessorMs(); });
    }
    {
        std::optional<Churn> churn;
        if (!churnWithReadsOf.isEmpty()) {
            churn.emplace(QFile::encodeName(churnWithReadsOf));
        }
        pause(idleSeconds * 1000);
    }
    for (int index = 0; index < 2; ++index) {
        onThread(index, [&, index] {
            used[index] += threadProcessorMs();
            sources[index].reset();
        });
        threads[index].quit();
        threads[index].wait();
    }
    const auto share = [&](double milliseconds) {
        return QString::number(milliseconds / (idleSeconds * 1000.0) * 100.0, 'f', 3);
    };
    out << (churnWithReadsOf.isEmpty() ? "idle" : "with unrelated programs and reads of the watched program")
        << " side by side over " << idleSeconds << " s, while " << lastPid() - firstPid
        << " PIDs were handed out (load average " << loadAverage().mid(0, 3).join(' ') << "):\n"
        << "  poller alone " << QString::number(used[0], 'f', 1) << " ms of processor time ("
        << share(used[0]) << "% of one core), watching " << QString::number(used[1], 'f', 1) << " ms ("
        << share(used[1]) << "%), ratio " << QString::number(used[1] / std::max(used[0], 0.001), 'f', 3)
        << '\n';
    out.flush();
}

Figures measure(bool watching, const QList<QString>& directories, const QString& bin, const QString& program,
                int launches, int sequenceCount) {
    const QString& id = benchId;
    const auto owned = makeSource(watching, directories, bin);
    ProcessApplicationEventSource& source = *owned;
    std::vector<Event> events;
    QObject::connect(&source, &ApplicationEventSource::applicationLaunched,
                     [&](const RunningApplication& application) {
                         if (application.bundleIdentifier == id) {
                             events.push_back({Clock::now(), true});
                         }
                     });
    QObject::connect(&source, &ApplicationEventSource::applicationTerminated,
                     [&](const RunningApplication& application) {
                         if (application.bundleIdentifier == id) {
                             events.push_back({Clock::now(), false});
                         }
                     });
    Figures figures;
    for (int index = 0; index < launches; ++index) {
        // Programs start and end at moments unrelated to the poller's ticks; without the pauses,
        // each launch would follow the tick that saw the previous termination.
        pause(static_cast<int>(QRandomGenerator::global()->bounded(250)));
        events.clear();
        QProcess child;
        const auto started = Clock::now();
        child.start(program, {QStringLiteral("60")});
        child.waitForStarted();
        runUntil([&] { return !events.empty(); }, 2000);
        pause(static_cast<int>(QRandomGenerator::global()->bounded(250)));
        const auto killed = Clock::now();
        child.kill();
        child.waitForFinished();
        runUntil([&] { return events.size() >= 2; }, 2000);
        if (events.size() != 2 || !events.at(0).launched || events.at(1).launched) {
            ++figures.latencyMissed;
            continue;
        }
        figures.launchLatencies.push_back(milliseconds(events.at(0).at - started));
        figures.terminationLatencies.push_back(milliseconds(events.at(1).at - killed));
    }

    events.clear();
    std::atomic<bool> done = false;
    std::vector<Sequence> sequences;
    std::thread runner([&] { sequences = runSequences(QFile::encodeName(program), sequenceCount, done); });
    // The event loop's 1 ms beats: a gap between two says how long the monitor's thread could not
    // run, whether the machine gave its processor to something else or did not wake it.
    std::vector<Clock::time_point> beats;
    runUntil(
        [&] {
            beats.push_back(Clock::now());
            return done.load();
        },
        3600 * 1000);
    runner.join();
    pause(1000);
    figures.sequences = static_cast<int>(sequences.size());
    figures.load = loadAverage().mid(0, 3).join(' ');
    // Each sequence owns the time from its first start to the next one's; its launch and its quit
    // must both be reported in it, once.
    for (size_t index = 0; index < sequences.size(); ++index) {
        const auto from = sequences[index].firstStart;
        const auto to =
            index + 1 < sequences.size() ? sequences[index + 1].firstStart : Clock::time_point::max();
        int launched = 0;
        int quit = 0;
        for (const Event& event : events) {
            if (event.at >= from && event.at < to) {
                (event.launched ? launched : quit) += 1;
            }
        }
        // The gaps between the beats that overlap the sequence; the beats are in order.
        double away = 0.0;
        const auto firstAfterStart = std::upper_bound(beats.begin(), beats.end(), from) - beats.begin();
        for (auto beat = std::max<ptrdiff_t>(firstAfterStart, 1);
             beat < static_cast<ptrdiff_t>(beats.size()) && beats[beat - 1] < sequences[index].lastEnd;
             ++beat) {
            away = std::max(away, milliseconds(beats[beat] - beats[beat - 1]));
        }
        if ((launched != 1 || quit != 1) &&
            figures.missedLaunches + figures.missedQuits + figures.extraEvents < 5) {
            QTextStream(stderr) << "sequence " << index << ": ran "
                                << milliseconds(sequences[index].lastEnd - from) << " ms, " << launched
                                << " launches and " << quit << " quits reported in its time; the monitor's "
                                << "thread was away for up to " << away << " ms then\n";
        }
        if ((launched == 0 || quit == 0) && away >= milliseconds(sequences[index].lastEnd - from) / 2) {
            ++figures.missedWhileAway;
        }
        if ((launched == 0 || quit == 0) && milliseconds(sequences[index].lastEnd - from) < 10.0) {
            ++figures.missedShort;
        }
        figures.missedLaunches += launched == 0 ? 1 : 0;
        figures.missedQuits += quit == 0 ? 1 : 0;
        figures.extraEvents += std::max(launched - 1, 0) + std::max(quit - 1, 0);
    }
    for (size_t beat = 1; beat < beats.size(); ++beat) {
        const double gap = milliseconds(beats[beat] - beats[beat - 1]);
        figures.away += gap >= 2.0 ? 1 : 0;
        figures.longestAway = std::max(figures.longestAway, gap);
    }
    return figures;
}

// Each shape started from a terminal shell that waits for it, a number of times: from the start to
// its launch, and from the shell's end (the end of the editor's main process) to its quit.
void measureShapes(QTextStream& out, int launches) {
    QTemporaryDir folder;
    const QString root = QDir(folder.path()).canonicalPath();
    const QString bin = root + QStringLiteral("/bin");
    const QString applications = root + QStringLiteral("/applications");
    const QList<testing::LaunchShape> shapes = testing::installLaunchShapes(
        root, bin, QStringLiteral(TARNWELL_LAUNCH_SHAPE_PROGRAM), QStringLiteral("0.2"));
    QDir().mkpath(applications);
    QSet<QString> ids;
    for (const testing::LaunchShape& shape : shapes) {
        if (shape.id.isEmpty()) {
            continue;
        }
        // A program chosen without a desktop entry is known by its path.
        ids.insert(shape.id);
        QFile entry(applications + u'/' + shape.id + QStringLiteral(".desktop"));
        if (!shape.exec.isEmpty() && entry.open(QIODevice::WriteOnly)) {
            entry.write("[Desktop Entry]\nType=Application\nName=" + shape.id.toUtf8() +
                        "\nExec=" + shape.exec + '\n');
        }
    }
    ProcessApplicationEventSource source(ProcessIdentifier(bench::readCatalog({applications}, bin),
                                                           QStringLiteral("/proc"), bin, root + "/run"));
    source.startObserving();
    source.watchApplications(ids);
    std::vector<Event> events;
    const auto record = [&](bool launched) {
        return [&events, &ids, launched](const RunningApplication& application) {
            if (ids.contains(application.bundleIdentifier.value_or(QString()))) {
                events.push_back({Clock::now(), launched});
            }
        };
    };
    QObject::connect(&source, &ApplicationEventSource::applicationLaunched, record(true));
    QObject::connect(&source, &ApplicationEventSource::applicationTerminated, record(false));
    const bool sandboxes = QProcess::execute(QStringLiteral("bwrap"), {"--ro-bind", "/", "/", "true"}) == 0;
    out << "launch shapes, " << launches
        << " starts each from a terminal (launch after the start; quit after "
        << "the main process ended)\n";
    for (const testing::LaunchShape& shape : shapes) {
        if (shape.id.isEmpty() || (shape.sandboxed && !sandboxes) ||
            shape.command.contains(QStringLiteral("spawn"))) {
            continue;
        }
        std::vector<double> launchLatencies;
        std::vector<double> quitLatencies;
        int wrong = 0;
        for (int index = 0; index < launches; ++index) {
            events.clear();
            QProcess shell;
            Clock::time_point ended;
            QObject::connect(&shell, &QProcess::finished, [&] { ended = Clock::now(); });
            const auto started = Clock::now();
            shell.start(QStringLiteral("/bin/bash"), QList<QString>{"-c", "\"$@\"; :", "sh"} + shape.command);
            runUntil([&] { return shell.state() == QProcess::NotRunning && events.size() >= 2; }, 5000);
            pause(50);
            if (events.size() != 2 || !events[0].launched || events[1].launched) {
                ++wrong;
                continue;
            }
            launchLatencies.push_back(milliseconds(events[0].at - started));
            quitLatencies.push_back(milliseconds(events[1].at - ended));
        }
        out << "  " << shape.command.first().mid(root.size()) << ": launch p50 "
            << QString::number(percentile(launchLatencies, 0.5), 'f', 1) << " ms, p95 "
            << QString::number(percentile(launchLatencies, 0.95), 'f', 1) << " ms; quit p50 "
            << QString::number(percentile(quitLatencies, 0.5), 'f', 1) << " ms, p95 "
            << QString::number(percentile(quitLatencies, 0.95), 'f', 1) << " ms; " << wrong
            << " starts without exactly one launch and one quit\n";
        out.flush();
    }
}

void print(QTextStream& out, const char* name, const Figures& figures) {
    const auto number = [](double value, int decimals = 1) { return QString::number(value, 'f', decimals); };
    out << name << " (load average at the end: " << figures.load << ")\n";
    out << "  launch latency over " << figures.launchLatencies.size() << " launches: p50 "
        << number(percentile(figures.launchLatencies, 0.5)) << " ms, p95 "
        << number(percentile(figures.launchLatencies, 0.95)) << " ms\n";
    out << "  last exit to termination: p50 " << number(percentile(figures.terminationLatencies, 0.5))
        << " ms, p95 " << number(percentile(figures.terminationLatencies, 0.95)) << " ms\n";
    out << "  launches without both events: " << figures.latencyMissed << '\n';
    out << "  " << figures.sequences << " random start/stop sequences: " << figures.missedLaunches
        << " launches and " << figures.missedQuits << " quits missed, " << figures.extraEvents
        << " extra events; " << figures.missedShort << " of the sequences missing one ran under 10 ms, "
        << figures.missedWhileAway << " missed one while the monitor's thread was away for half their time\n";
    out << "  the monitor's thread was away for 2 ms or more " << figures.away
        << " times during them, at most " << number(figures.longestAway) << " ms\n";
    out.flush();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    const int launches = arguments.size() > 1 ? arguments.at(1).toInt() : 50;
    const int idleSeconds = arguments.size() > 2 ? arguments.at(2).toInt() : 30;
    const int sequences = arguments.size() > 3 ? arguments.at(3).toInt() : 1000;
    const int shapeLaunches = arguments.size() > 4 ? arguments.at(4).toInt() : 40;

    QTemporaryDir folder;
    const QString bin = folder.filePath(QStringLiteral("bin"));
    const QString program = bin + QStringLiteral("/tarnwell-bench-editor");
    QDir().mkpath(bin);
    QDir().mkpath(folder.filePath(QStringLiteral("applications")));
    QFile::copy(QStringLiteral("/bin/sleep"), program);
    QFile entry(folder.filePath(QStringLiteral("applications/org.example.BenchEditor.desktop")));
    entry.open(QIODevice::WriteOnly);
    entry.write("[Desktop Entry]\nType=Application\nName=Bench Editor\nExec=tarnwell-bench-editor %F\n");
    entry.close();

    bench::ProcessCrowd crowd(500);
    QList<QString> directories{folder.filePath(QStringLiteral("applications"))};
    directories.append(DesktopEntryIndex::defaultApplicationDirectories());

    QTextStream out(stdout);
    out << "processes in the table: " << bench::ProcessCrowd::processCount() << '\n';
    measureIdle(out, directories, bin, idleSeconds);
    measureIdle(out, directories, bin, idleSeconds, program);
    measureShapes(out, shapeLaunches);
    const Figures poller = measure(false, directories, bin, program, launches, sequences);
    print(out, "poller alone (every 250 ms)", poller);
    // Every watch and process handle is closed again: the count of open descriptors comes back.
    const auto descriptors = [] { return QDir(QStringLiteral("/proc/self/fd")).count(); };
    const auto openBefore = descriptors();
    const Figures watcher = measure(true, directories, bin, program, launches, sequences);
    print(out, "watching (file watches, process handles, poll every 2 s)", watcher);
    out << "descriptors open before and after the watching run: " << openBefore << " / " << descriptors()
        << '\n';
    return watcher.latencyMissed + watcher.missedLaunches + watcher.missedQuits == 0 ? 0 : 1;
}
