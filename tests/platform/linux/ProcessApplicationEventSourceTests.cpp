#include "LaunchShapes.h"
#include "LinuxTestSupport.h"
#include "platform/linux/ProcessApplicationEventSource.h"
#include "support/QtPrinters.h"
#include "support/TaskRunner.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <iostream>
#include <sys/eventfd.h>
#include <sys/wait.h>

namespace tarnwell {
namespace {

using Events = QList<QString>;

// One process folder of a prepared /proc tree.
struct FakeProcess {
    pid_t pid = 0;
    QString program;
    quint64 startTime = 100;
    QList<QString> arguments{};
    std::optional<QList<QByteArray>> environment = QList<QByteArray>{}; // absent: unreadable
    QString cgroup = QStringLiteral("0::/user.slice/user-1000.slice/session-2.scope\n");
    std::optional<QString> flatpakApplication{};
    std::optional<uid_t> owner{};
    // The process a thread belongs to; a process is its own.
    std::optional<pid_t> threadGroup{};
    // Exec has not yet laid out its command line and environment, which read empty meanwhile.
    bool laidOut = true;
    pid_t parent = 0;
};

// The processes carrying a launch-shape test's mark whose command line names something under the folder.
QList<pid_t> markedProcessesUnder(const QString& folder) {
    QList<pid_t> found;
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile environment("/proc/" + name + "/environ");
        QFile commandLine("/proc/" + name + "/cmdline");
        // The keeper of a sandbox stays outside it and is no instance.
        if (name.toInt() > 0 && QFileInfo("/proc/" + name + "/exe").symLinkTarget() != "/usr/bin/bwrap" &&
            environment.open(QIODevice::ReadOnly) && environment.readAll().contains("TARNWELL_SHAPE=") &&
            commandLine.open(QIODevice::ReadOnly) &&
            commandLine.readAll().contains(QFile::encodeName(folder))) {
            found.append(name.toInt());
        }
    }
    return found;
}

// Reports about the test's own applications ("+id" launched, "-id" terminated) from a prepared /proc
// or the real one, leaving out those of the desktop the tests run on.
class ProcessTests : public testing::PreparedSystem {
protected:
    void SetUp() override {
        PreparedSystem::SetUp();
        proc = root + QStringLiteral("/proc");
        ASSERT_TRUE(QDir().mkpath(proc) && QDir().mkpath(bin));
        writeProc("uptime", "1000.00 0.00\n");
    }
    void writeProc(const QString& name, const QByteArray& content) const {
        testing::writeFile(proc + u'/' + name, content);
    }
    // A replaced folder is built beside the old one and moved over it, as a new process's is new.
    void writeProcess(const FakeProcess& process) const {
        const QString folder = proc + u'/' + QString::number(process.pid);
        const QString building = folder + QStringLiteral(".new/");
        const QByteArray stat = QByteArray::number(process.pid) + " (" + process.program.toUtf8() + ") S " +
                                QByteArray::number(process.parent) + QByteArray(" 0").repeated(17) + ' ' +
                                QByteArray::number(process.startTime) + " 0\n";
        const QList<QString> arguments =
            process.arguments.isEmpty() ? QList<QString>{process.program} : process.arguments;
        for (const auto& [name, content] :
             {std::pair<QString, QByteArray>{"stat", stat},
              {"cmdline", process.laidOut ? arguments.join(QChar(0)).toUtf8() + '\0' : QByteArray()},
              {"cgroup", process.cgroup.toUtf8()},
              {"status",
               "Name:\tx\nTgid:\t" + QByteArray::number(process.threadGroup.value_or(process.pid)) + '\n'}}) {
            testing::writeFile(building + name, content);
        }
        if (process.environment) {
            testing::writeFile(building + "environ",
                               process.laidOut ? process.environment->join('\0') + '\0' : QByteArray());
        }
        if (process.flatpakApplication) {
            testing::writeFile(building + "root/.flatpak-info",
                               "[Application]\nname=" + process.flatpakApplication->toUtf8() + '\n');
        }
        // Without a program the process is in the middle of exec: its program cannot be read.
        ASSERT_TRUE(
            (process.program.isEmpty() || QFile::link(bin + u'/' + process.program, building + "exe")) &&
            QFile::link(root, building + "cwd"));
        if (process.owner) {
            ASSERT_EQ(::chown(QFile::encodeName(building).constData(), *process.owner, *process.owner), 0);
        }
        QDir(folder).removeRecursively();
        ASSERT_TRUE(QDir().rename(building, folder));
    }
    void watch(const QString& procRoot, Events ids,
               std::shared_ptr<KernelWatching> kernel = std::make_shared<KernelWatchService>(),
               ProcessPollIntervals intervals = {}) {
        known = std::move(ids);
        events.clear();
        notices.clear();
        source = std::make_unique<ProcessApplicationEventSource>(
            ProcessIdentifier(readCatalog(), procRoot, bin, root + QStringLiteral("/run")), ::geteuid(),
            std::move(kernel), intervals);
        QObject::connect(source.get(), &ApplicationEventSource::noticed,
                         [this](const QString& message) { notices.append(message); });
        const auto record = [this](QChar sign) {
            return [this, sign](const RunningApplication& application) {
                if (known.contains(application.bundleIdentifier.value_or(QString()))) {
                    events.append(sign + *application.bundleIdentifier);
                }
            };
        };
        QObject::connect(source.get(), &ApplicationEventSource::applicationLaunched, record(u'+'));
        QObject::connect(source.get(), &ApplicationEventSource::applicationTerminated, record(u'-'));
    }
    Events running() const {
        Events result;
        for (const RunningApplication& application : source->runningApplications()) {
            if (known.contains(application.bundleIdentifier.value_or(QString()))) {
                result.append(*application.bundleIdentifier);
            }
        }
        std::sort(result.begin(), result.end());
        return result;
    }
    QProcess& start(const QString& program) {
        QProcess& child = *children.emplace_back(std::make_unique<QProcess>());
        child.setProcessEnvironment(QProcessEnvironment()); // only what the test gives it: nothing
        child.start(program, {QStringLiteral("60")});
        EXPECT_TRUE(child.waitForStarted());
        return child;
    }
    void watchPreparedProc() {
        for (const char* program : {"cutter", "grader", "shell"}) {
            addProgram(QString::fromLatin1(program));
        }
        watch(proc, {"org.example.cutter", "org.example.grader", "org.example.shell"});
    }

    QString proc;
    Events known;
    Events events;
    Events notices;
    std::unique_ptr<ProcessApplicationEventSource> source;
    std::vector<std::unique_ptr<QProcess>> children;
};

TEST_F(ProcessTests, FlatpakThenOwnProgramThenLauncherHintThenSystemdUnit) {
    for (const char* program : {"cutter", "python3.11", "bash", "flatpak", "steam", "wine", "editor"}) {
        addProgram(QString::fromLatin1(program), false);
    }
    const QString script = root + QStringLiteral("/opt/tool/main.py");
    testing::writeFile(script, "print()\n");
    addEntry("org.example.Cutter", "cutter %F");
    addEntry("org.example.Tool", "python3.11 -u " + script.toUtf8());
    addEntry("org.example.Shell", "bash");
    // Programs that many entries launch: two Flatpak applications, Steam with a game shortcut, and
    // env, which runs the program that decides.
    addEntry("org.example.FlatA", "flatpak run --branch=stable org.example.FlatA");
    addEntry("org.example.FlatB", "flatpak run org.example.FlatB");
    addEntry("steam", "steam %U");
    addEntry("Game 4242", "steam steam://rungameid/4242");
    addEntry("org.example.Windows", "env WINEPREFIX=/x wine /x/app.exe");
    addEntry("org.example.Wrapped", "env -u X LANG=C editor --safe");
    const QList<QByteArray> launchedB{"GIO_LAUNCHED_DESKTOP_FILE=" + applications.toUtf8() +
                                          "/org.example.FlatB.desktop",
                                      "GIO_LAUNCHED_DESKTOP_FILE_PID=18"};
    const QList<QByteArray> hinted{"BAMF_DESKTOP_FILE_HINT=/x/org.example.Hinted.desktop"};
    const QString unit = "0::/user.slice/user@0.service/app.slice/app-gnome-org.example.Unit-42.scope\n";
    const QString snapUnit =
        "0::/user.slice/user@0.service/app.slice/snap.snapped.snapped-0a1b2c3d-aaaa-bbbb-cccc-"
        "0123456789ab.scope\n";
    const QList<QByteArray> image{"APPIMAGE=" + bin.toUtf8() + "/cutter", "APPDIR=" + bin.toUtf8()};
    const QList<std::pair<FakeProcess, std::optional<QString>>> rows{
        {{10, "cutter"}, "org.example.Cutter"},
        {{12, "python3.11", 1, {"python3.11", "-u", script}}, "org.example.Tool"},
        {{13, "python3.11", 1, {"python3", "opt/tool/main.py"}}, "org.example.Tool"},
        {{14, "python3.11", 1, {"python3.11", root + "/opt/other.py"}}, std::nullopt},
        {{15, "bash"}, std::nullopt},
        {{16, "python3.11", 1, {"python3.11", "-c", script}}, std::nullopt},
        {{17, "flatpak"}, std::nullopt},
        {{18, "flatpak", 1, {}, launchedB}, "org.example.FlatB"},
        {{19, "flatpak", 1, {}, launchedB}, std::nullopt}, // inherited by a child
        {{20, "steam"}, std::nullopt},
        {{21, "wine"}, std::nullopt},
        {{.pid = 22, .program = "bash", .environment = hinted}, "org.example.Hinted"},
        {{.pid = 23, .program = "steam", .environment = std::nullopt, .cgroup = unit}, "org.example.Unit"},
        {{.pid = 24, .program = "cutter", .flatpakApplication = "org.example.Sandboxed"},
         "org.example.Sandboxed"},
        {{25, "editor"}, "org.example.Wrapped"},
        // What an instance starts belongs to it only while it runs the entry's own programs: a worker
        // does, a shell it opens in its unit does not.
        {{.pid = 26, .program = "cutter", .parent = 10}, "org.example.Cutter"},
        {{.pid = 27, .program = "wine", .parent = 10}, std::nullopt},
        {{.pid = 28, .program = "bash", .environment = std::nullopt, .cgroup = unit, .parent = 23},
         std::nullopt},
        {{.pid = 29, .program = "snapped", .cgroup = snapUnit}, "snapped_snapped"},
        // A portable image's program runs from the image's mount, and so do its descendants.
        {{.pid = 30, .program = "wine", .environment = image}, "org.example.Cutter"},
        {{.pid = 31, .program = "flatpak", .parent = 30}, "org.example.Cutter"},
    };
    ProcessIdentifier identifier(readCatalog(), proc, bin);
    QHash<pid_t, ProcessIdentity> identities;
    for (const auto& [process, id] : rows) {
        writeProcess(process);
        const auto parent = identities.constFind(process.parent);
        const auto identity = identifier.identify(
            process.pid, process.parent,
            parent == identities.cend() ? std::nullopt : std::optional<ProcessIdentity>(*parent));
        EXPECT_EQ(identity ? std::optional<QString>(identity->id) : std::nullopt, id) << process.pid;
        if (identity) {
            identities.insert(process.pid, *identity);
        }
    }
    EXPECT_EQ(identifier.identify(99), std::nullopt);
    // What is watched for a start: the program or script, never a launcher.
    EXPECT_EQ(identifier.programsOf("org.example.Tool"), QList<QString>{script});
    EXPECT_EQ(identifier.programsOf("org.example.FlatA"), QList<QString>{});
    EXPECT_EQ(identifier.programsOf("org.example.Absent"), std::nullopt);
    // Entries installed later count after a refresh; a second claim on a program ends the first's.
    writeProcess({40, "grader"});
    addProgram(QStringLiteral("grader"));
    addEntry("org.example.CutterBeta", "cutter --beta");
    const quint64 revision = identifier.revision();
    identifier.refreshIfChanged();
    ASSERT_TRUE(testing::runUntil([&] { return identifier.revision() > revision; }));
    EXPECT_EQ(identifier.identify(40), (ProcessIdentity{"org.example.grader", {}}));
    EXPECT_EQ(identifier.identify(10), std::nullopt);
}

TEST(ProcessIdentifierCgroups, ApplicationIdsFromSystemdUnitNames) {
    const QString slice = QStringLiteral("0::/user.slice/user-1000.slice/user@1000.service/app.slice/");
    const QList<std::pair<QString, std::optional<QString>>> cases{
        {slice + "app-org.kde.kdenlive-12.scope", "org.kde.kdenlive"},
        {slice + "app-flatpak-org.example.Cut-98765.scope", "org.example.Cut"},
        {slice + "app-gnome-firefox\\x2desr-3311.scope", "firefox-esr"},
        {slice + "app-org.example.Svc@a1b2.service", "org.example.Svc"},
        {slice + "app-dbus-org.example.Bus.service", "org.example.Bus"},
        {"12:pids:/\n" + slice + "app-org.x.Y-1.scope/sub", "org.x.Y"},
        {"0::/user.slice/user-1000.slice/session-3.scope", std::nullopt},
        {slice + "app-too-many-parts-1.scope", std::nullopt},
        {slice + "app-nonumber.scope", std::nullopt},
        {slice + "init.scope", std::nullopt},
        {QString(), std::nullopt},
    };
    for (const auto& [cgroup, id] : cases) {
        EXPECT_EQ(ProcessIdentifier::applicationIdFromCgroup(cgroup), id) << cgroup.toStdString();
    }
}

TEST_F(ProcessTests, ProcessIsItsPidAndStartTimeAndOnlyTheUsersCount) {
    watchPreparedProc();
    writeProcess({100, "cutter"});
    writeProcess({101, "cutter"});
    writeProcess({102, "grader"});
    EXPECT_EQ(running(), (Events{"org.example.cutter", "org.example.cutter", "org.example.grader"}));
    // Processes running before observing starts are running, not launched.
    source->startObserving();
    // Same PID and start time in a new folder: the same process. A later start time: a new one.
    writeProcess({100, "cutter"});
    writeProcess({102, "shell", 5000});
    source->poll();
    EXPECT_EQ(events, (Events{"-org.example.grader", "+org.example.shell"}));
    // An editor installed a moment after it started launches once its entry has been read.
    known.append(QStringLiteral("org.example.late"));
    writeProcess({103, "late"});
    source->poll();
    addProgram(QStringLiteral("late"));
    EXPECT_TRUE(testing::runUntil([&] { return events.size() == 3; }));
    EXPECT_EQ(events.value(2), QStringLiteral("+org.example.late"));
    if (::geteuid() == 0) {
        writeProcess({.pid = 200, .program = "grader", .owner = 4321});
        QDir().mkpath(proc + QStringLiteral("/201"));
        QDir().mkpath(proc + QStringLiteral("/self"));
        source->poll();
        EXPECT_EQ(events.size(), 3) << "another user's process is none of the user's applications";
    }
}

TEST_F(ProcessTests, ProcessIsLookedAtAgainAfterExecWhileYoungOrOnAnOpenNoNewOneExplains) {
    watchPreparedProc();
    const quint64 ticks = static_cast<quint64>(::sysconf(_SC_CLK_TCK));
    source->startObserving();
    using Step = std::pair<const char*, const char*>;
    for (const auto& [program, uptime] :
         {Step{"shell", "10"}, Step{"cutter", "10"}, Step{"cutter", "12"}, Step{"grader", "12"}}) {
        writeProc("uptime", QByteArray(uptime) + ".00 0.00\n");
        writeProcess({100, program, 10 * ticks});
        source->poll();
    }
    // A program that only its launcher's hint names, caught between exec and the hint's arrival.
    addProgram(QStringLiteral("helper"), false);
    const QList<QByteArray> hint{"BAMF_DESKTOP_FILE_HINT=/x/org.example.grader.desktop"};
    for (const bool laidOut : {false, true}) {
        writeProcess({.pid = 101,
                      .program = "helper",
                      .startTime = 12 * ticks,
                      .environment = hint,
                      .laidOut = laidOut});
        source->poll();
    }
    EXPECT_EQ(events, (Events{"+org.example.shell", "-org.example.shell", "+org.example.cutter",
                              "+org.example.grader"}));
    // An older process that runs a watched program: its open finds no new process to explain it.
    source->watchApplications({"org.example.shell"});
    writeProcess({100, "shell", 10 * ticks});
    ASSERT_TRUE(QFile(bin + QStringLiteral("/shell")).open(QIODevice::ReadOnly));
    EXPECT_TRUE(testing::runUntil([&] { return events.size() == 6; }));
    EXPECT_EQ(events.mid(4), (Events{"-org.example.cutter", "+org.example.shell"}));
}

TEST_F(ProcessTests, BetweenListingsOnlyTheNewPidsAreFollowedUnlessTheyWrapped) {
    watchPreparedProc();
    writeProc("loadavg", "0.1 0.2 0.3 1/80 500\n");
    writeProcess({90, "grader"});
    source->startObserving();
    writeProcess({501, "cutter"});
    writeProcess({.pid = 502, .program = "shell", .threadGroup = 501}); // a thread
    writeProcess({60, "shell"}); // outside the PIDs handed out since, so only a listing finds it
    writeProc("loadavg", "0.1 0.2 0.3 1/82 502\n");
    source->poll();
    // An application that ends is noticed without a listing.
    QDir(proc + QStringLiteral("/90")).removeRecursively();
    writeProc("loadavg", "0.1 0.2 0.3 1/81 502\n");
    source->poll();
    EXPECT_FALSE(source->lastPollListed());
    EXPECT_EQ(events, (Events{"+org.example.cutter", "-org.example.grader"}));
    for (int tick = 3; tick <= ProcessApplicationEventSource::ticksBetweenListings; ++tick) {
        source->poll();
    }
    EXPECT_EQ(events.value(2), QStringLiteral("+org.example.shell"));
    // PIDs that wrapped around cannot be followed one by one, so a listing comes at once.
    writeProcess({300, "grader"});
    writeProc("loadavg", "0.1 0.2 0.3 1/82 300\n");
    source->poll();
    EXPECT_EQ(events.value(3), QStringLiteral("+org.example.grader"));
    // A PID is handed out a moment before its folder appears; the next tick still looks at it.
    QDir(proc + QStringLiteral("/300")).removeRecursively();
    writeProc("loadavg", "0.1 0.2 0.3 1/81 301\n");
    source->poll();
    writeProcess({301, "grader"});
    writeProc("loadavg", "0.1 0.2 0.3 1/82 301\n");
    source->poll();
    EXPECT_EQ(events.mid(4), (Events{"-org.example.grader", "+org.example.grader"}));
}

// An instance quits while a young fork of its parent is in the middle of exec, just after an open of
// the program: the fork may be the next instance, so the quit waits for it. Process handles that
// never report an end leave the ends to the ticks.
TEST_F(ProcessTests, AQuitWaitsForAForkOfItsParentInTheMiddleOfExec) {
    struct SilentHandles : KernelWatchService {
        int openProcessHandle(pid_t) override { return ::eventfd(0, EFD_CLOEXEC); }
    };
    addProgram(QStringLiteral("cutter"));
    addProgram(QStringLiteral("launcher"), false);
    watch(proc, {"org.example.cutter"}, std::make_shared<SilentHandles>());
    const quint64 young = 1000 * static_cast<quint64>(::sysconf(_SC_CLK_TCK));
    writeProcess({50, "launcher"});
    writeProcess({.pid = 100, .program = "cutter", .startTime = young, .parent = 50});
    source->startObserving();
    source->watchApplications({"org.example.cutter"});
    writeProcess({.pid = 101, .program = "", .startTime = young, .parent = 50});
    ASSERT_TRUE(QFile(bin + QStringLiteral("/cutter")).open(QIODevice::ReadOnly));
    testing::runUntil([] { return false; }, std::chrono::milliseconds(20));
    QDir(proc + QStringLiteral("/100")).removeRecursively();
    source->poll();
    EXPECT_EQ(events, Events{});
    writeProcess({.pid = 101, .program = "cutter", .startTime = young, .parent = 50});
    source->poll();
    QDir(proc + QStringLiteral("/101")).removeRecursively();
    source->poll();
    EXPECT_EQ(events, (Events{"-org.example.cutter"}));
}

// The real file watches and process handles, one refused as an old kernel or a reached limit would.
// With a decoy, the editor's watch is put on that file, so only opening the decoy reports a start.
enum class Refused { Nothing, FileWatches, ProcessHandles, ProgramWatch };
struct RefusingKernel : KernelWatchService {
    int openFileWatches() override {
        return refused == Refused::FileWatches ? (errno = ENOSYS, -1) : KernelWatchService::openFileWatches();
    }
    int addFileWatch(int instance, const QByteArray& path, std::uint32_t events) override {
        if (!path.endsWith("/editor")) {
            return KernelWatchService::addFileWatch(instance, path, events);
        }
        return refused == Refused::ProgramWatch
                   ? (errno = ENOSPC, -1)
                   : KernelWatchService::addFileWatch(instance, decoy.isEmpty() ? path : decoy, events);
    }
    int openProcessHandle(pid_t pid) override {
        return refused == Refused::ProcessHandles ? (errno = ENOSYS, -1)
                                                  : KernelWatchService::openProcessHandle(pid);
    }
    Refused refused = Refused::Nothing;
    QByteArray decoy;
};

// A copy of a system program that a desktop entry runs, through the real /proc, watched once
// observing has started (as a changed configuration arms it). While it is watched, the ticks come
// once a minute, so only the watches explain what the test sees; otherwise ticks every 20 ms must
// do the same work, and the fallback is logged once. The test looks only at its own application.
TEST_F(ProcessTests, RealProgramReportsOneLaunchAndTheLastQuitThroughEveryRoute) {
    const QString program = bin + QStringLiteral("/editor");
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), program));
    addEntry("org.example.Editor", "editor %F");
    addEntry("steam", "steam %U");
    const QString fallback =
        QStringLiteral("Application launches and quits are checked every 20 ms, not watched: ");
    const QString unwatched = "Starts of " + program + " are checked every %1 ms, not watched: ";
    enum class Replaced { No, RenamedOver, DeletedThenRestored };
    // A refused program watch leaves only that program to the ticks, until it can be watched again.
    const QList<std::tuple<Refused, Replaced, QString, bool>> cases{
        {Refused::Nothing, Replaced::No, {}, true},
        {Refused::Nothing, Replaced::RenamedOver, {}, true},
        {Refused::Nothing, Replaced::DeletedThenRestored,
         unwatched.arg(59000) + "it cannot be watched (No such file or directory).", true},
        {Refused::FileWatches, Replaced::No,
         fallback + "file watches are unavailable (Function not implemented).", false},
        {Refused::ProcessHandles, Replaced::No,
         fallback + "process handles are unavailable (Function not implemented).", false},
        {Refused::ProgramWatch, Replaced::No,
         unwatched.arg(20) + "the limit of file watches is reached (No space left on device).", false},
    };
    const auto settle = [] { testing::runUntil([] { return false; }, std::chrono::milliseconds(300)); };
    for (const auto& [refused, replaced, notice, watched] : cases) {
        SCOPED_TRACE(notice.toStdString() + " replaced " + std::to_string(static_cast<int>(replaced)));
        const std::chrono::milliseconds polling(watched ? 59000 : 20);
        const auto kernel = std::make_shared<RefusingKernel>();
        kernel->refused = refused;
        watch("/proc", {"org.example.Editor"}, kernel, {polling, std::chrono::minutes(1)});
        source->startObserving();
        source->watchApplications({"org.example.Editor"});
        EXPECT_EQ(source->currentPollInterval(), watched ? std::chrono::minutes(1) : polling);
        if (replaced != Replaced::No) {
            ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), program + ".new"));
            if (replaced == Replaced::DeletedThenRestored) {
                ASSERT_TRUE(QFile::remove(program));
                settle();
            }
            ASSERT_EQ(::rename(QFile::encodeName(program + ".new"), QFile::encodeName(program)), 0);
            settle();
        }
        QProcess& first = start(program);
        ASSERT_TRUE(testing::runUntil([&] { return !events.isEmpty(); }));
        start(program);
        ASSERT_TRUE(testing::runUntil([&] { return running().size() == 2; }));
        // Past the looks that follow a start, only a process handle tells that a process ended.
        settle();
        first.kill();
        ASSERT_TRUE(testing::runUntil([&] { return running().size() == 1; }));
        // Only a launcher starts Steam, so it cannot be watched and the ticks come often again.
        source->watchApplications({"org.example.Editor", "steam"});
        EXPECT_EQ(source->currentPollInterval(), polling);
        children.back()->kill();
        ASSERT_TRUE(testing::runUntil([&] { return events.size() == 2; })) << events.join(u' ').toStdString();
        EXPECT_EQ(events, (Events{"+org.example.Editor", "-org.example.Editor"}));
        EXPECT_EQ(notices, notice.isEmpty() ? Events{} : Events{notice});
        kernel->refused = refused == Refused::ProgramWatch ? Refused::Nothing : refused;
        source->poll();
        const auto followed = source->applicationWatches();
        ASSERT_EQ(followed.size(), 2);
        EXPECT_EQ(followed[0].followedByEvents,
                  refused == Refused::Nothing || refused == Refused::ProgramWatch)
            << followed[0].reason.toStdString();
        EXPECT_FALSE(followed[1].followedByEvents);
    }
}

// Under load the open that exec reports can come tens of milliseconds before the program runs, and
// the program may then live only a little longer. Here a fork of the test is seen first, an open of
// the decoy stands in for the early report, and the fork runs the program 30 ms later for 20 ms:
// between the looks that follow a start, with the next tick a minute away. An instance the test
// started that quits meanwhile hands the application over to the fork, so it never stops; one with
// another parent quits at once.
TEST_F(ProcessTests, AProgramThatRunsLongAfterItsOpenIsStillSeenToLaunchAndQuit) {
    const QString program = bin + QStringLiteral("/editor");
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), program));
    const QString decoy = root + QStringLiteral("/decoy");
    testing::writeFile(decoy, "");
    addEntry("org.example.Editor", "editor %F");
    // A program that runs stays open; one only read is closed at once.
    std::vector<std::unique_ptr<QFile>> opened;
    const auto open = [&] {
        ASSERT_TRUE(opened.emplace_back(std::make_unique<QFile>(decoy))->open(QIODevice::ReadOnly));
    };
    const Events once{"+org.example.Editor", "-org.example.Editor"};
    enum class Before { Nothing, Sibling, Stranger };
    for (const auto& [before, expected] : {std::pair{Before::Nothing, once}, std::pair{Before::Sibling, once},
                                           std::pair{Before::Stranger, once + once}}) {
        SCOPED_TRACE(static_cast<int>(before));
        const auto kernel = std::make_shared<RefusingKernel>();
        kernel->decoy = QFile::encodeName(decoy);
        watch("/proc", {"org.example.Editor"}, kernel, {std::chrono::minutes(1), std::chrono::minutes(1)});
        source->startObserving();
        source->watchApplications({"org.example.Editor"});
        qint64 instance = 0;
        if (before == Before::Sibling) {
            instance = start(program).processId();
        } else if (before == Before::Stranger) {
            // Started twice removed, it has another parent than the fork below.
            ASSERT_TRUE(QProcess::startDetached(program, {QStringLiteral("60")}, {}, &instance));
        }
        if (instance != 0) {
            open();
            ASSERT_TRUE(testing::runUntil([&] { return !events.isEmpty(); }));
        }
        const QByteArray path = QFile::encodeName(program);
        const pid_t fork = ::fork();
        ASSERT_GE(fork, 0);
        if (fork == 0) {
            ::usleep(before == Before::Stranger ? 200000 : 30000);
            ::execl(path.constData(), path.constData(), "0.02", nullptr);
            ::_exit(127);
        }
        open();
        if (instance != 0) {
            ::kill(static_cast<pid_t>(instance), SIGKILL);
        }
        bool reaped = false;
        const bool reported = testing::runUntil([&] {
            reaped = reaped || ::waitpid(fork, nullptr, WNOHANG) == fork;
            return reaped && events.size() >= expected.size();
        });
        if (!reaped) {
            ::waitpid(fork, nullptr, 0);
        }
        ASSERT_TRUE(reported) << events.join(u' ').toStdString();
        EXPECT_EQ(events, expected);
    }
}

// The shapes editors start in on Linux, as real process trees, each started as a desktop starts it
// (through a parent that ends at once) and from a terminal shell that waits for it: one launch, and
// one quit that comes only once no process of the instance runs any more. The processes of a run
// carry a mark in their environment; those that run something under the test's folder are the
// instance's, while the shell the editor opens and its program are not. Wrappers and launchers that
// start anything else report nothing.
TEST_F(ProcessTests, EveryLaunchShapeIsOneInstanceFromItsLaunchToItsLastProcess) {
    const QList<testing::LaunchShape> shapes = testing::installLaunchShapes(
        root, bin, QStringLiteral(TARNWELL_LAUNCH_SHAPE_PROGRAM), QStringLiteral("0.4"));
    ASSERT_FALSE(shapes.isEmpty());
    const bool sandboxes = QProcess::execute(QStringLiteral("bwrap"), {"--ro-bind", "/", "/", "true"}) == 0;
    Events ids;
    for (const testing::LaunchShape& shape : shapes) {
        if (!shape.id.isEmpty() && !ids.contains(shape.id)) {
            if (!shape.exec.isEmpty()) {
                addEntry(shape.id, shape.exec);
            }
            ids.append(shape.id);
        }
    }
    QList<pid_t> aliveAtQuit;
    // With the ticks a minute apart, only the watches can tell the launches and quits.
    watch("/proc", ids, std::make_shared<KernelWatchService>(),
          {std::chrono::minutes(1), std::chrono::minutes(1)});
    QObject::connect(source.get(), &ApplicationEventSource::applicationTerminated,
                     [&](const RunningApplication&) { aliveAtQuit = markedProcessesUnder(root); });
    source->startObserving();
    source->watchApplications(QSet<QString>(ids.cbegin(), ids.cend()));

    int run = 0;
    for (const auto& [id, exec, command, sandboxed] : shapes) {
        if (sandboxed && !sandboxes) {
            std::cout << "bwrap cannot make a sandbox here: the Flatpak shape is left out\n";
            continue;
        }
        for (const bool fromTerminal : {false, true}) {
            SCOPED_TRACE(command.join(u' ').toStdString() +
                         (fromTerminal ? " from a terminal" : " from a desktop"));
            events.clear();
            aliveAtQuit = {-1};
            // The mark goes to the command, not to the shell starting it.
            const QList<QString> arguments = QList<QString>{"-c",
                                                            "TARNWELL_SHAPE=" + QString::number(++run) +
                                                                (fromTerminal ? " \"$@\"; :" : " \"$@\" &"),
                                                            "sh"} +
                                             command;
            QProcess& shell = *children.emplace_back(std::make_unique<QProcess>());
            shell.start(QStringLiteral("/bin/bash"), arguments);
            ASSERT_TRUE(shell.waitForStarted());
            const Events expected = id.isEmpty() ? Events{} : Events{"+" + id, "-" + id};
            const bool done = testing::runUntil([&] {
                return shell.state() == QProcess::NotRunning && markedProcessesUnder(root).isEmpty() &&
                       events.size() >= expected.size();
            });
            EXPECT_TRUE(done) << events.join(u' ').toStdString();
            testing::runUntil([] { return false; }, std::chrono::milliseconds(100));
            EXPECT_EQ(events, expected);
            if (!id.isEmpty()) {
                EXPECT_EQ(aliveAtQuit, QList<pid_t>{}) << "a process of the instance still ran at its quit";
            }
        }
    }
}

} // namespace
} // namespace tarnwell
