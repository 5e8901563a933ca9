#include "LinuxTestSupport.h"
#include "platform/linux/ProcessApplicationEventSource.h"
#include "support/TaskRunner.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace tarnwell {
namespace {

using Events = QList<QString>;
using testing::FakeProcess;

// Reports about the test's own applications ("+id" launched, "-id" terminated), leaving out those of
// the desktop the tests run on.
class EventSourceTests : public testing::PreparedSystem {
protected:
    void watch(QString procRoot, Events ids) {
        known = std::move(ids);
        source =
            std::make_unique<ProcessApplicationEventSource>(ProcessIdentifier(procRoot, {applications}, bin));
        for (const auto& [signal, sign] : {std::pair{&ApplicationEventSource::applicationLaunched, u'+'},
                                           std::pair{&ApplicationEventSource::applicationTerminated, u'-'}}) {
            QObject::connect(source.get(), signal, [this, sign](const RunningApplication& application) {
                if (known.contains(application.bundleIdentifier.value_or(QString()))) {
                    events.append(sign + *application.bundleIdentifier);
                }
            });
        }
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
    void watchPreparedProc() {
        for (const char* program : {"cutter", "grader", "shell"}) {
            addProgram(QString::fromLatin1(program));
        }
        watch(proc, {"org.example.cutter", "org.example.grader", "org.example.shell"});
    }

    Events known;
    Events events;
    std::unique_ptr<ProcessApplicationEventSource> source;
};

TEST_F(EventSourceTests, ProcessIsItsPidAndStartTimeAndOnlyTheUsersCount) {
    watchPreparedProc();
    writeProcess(process(100, "cutter"));
    EXPECT_EQ(running(), Events{"org.example.cutter"});
    writeProcess(process(101, "cutter"));
    writeProcess(process(102, "grader"));
    EXPECT_EQ(running(), (Events{"org.example.cutter", "org.example.cutter", "org.example.grader"}));
    // Processes running before observing starts are running, not launched.
    source->startObserving();
    source->poll();
    // Same PID and start time in a new folder: the same process. A later start time: a new one.
    writeProcess(process(100, "cutter"));
    writeProcess(process(102, "shell", 5000));
    source->poll();
    EXPECT_EQ(events, (Events{"-org.example.grader", "+org.example.shell"}));
    if (::geteuid() == 0) {
        FakeProcess stranger = process(200, "grader");
        stranger.owner = 4321;
        writeProcess(stranger);
        QDir().mkpath(proc + QStringLiteral("/201"));
        QDir().mkpath(proc + QStringLiteral("/self"));
        source->poll();
        EXPECT_EQ(events.size(), 2) << "another user's process is none of the user's applications";
    }
}

TEST_F(EventSourceTests, YoungProcessIsLookedAtAgainAfterItRunsItsProgramUntilItSettles) {
    watchPreparedProc();
    writeUptime(10.0);
    const quint64 ticks = static_cast<quint64>(::sysconf(_SC_CLK_TCK));
    source->startObserving();
    using Step = std::pair<const char*, double>;
    for (const auto& [program, uptime] :
         {Step{"shell", 10.0}, Step{"cutter", 10.0}, Step{"cutter", 12.0}, Step{"grader", 12.0}}) {
        writeUptime(uptime);
        writeProcess(process(100, program, 10 * ticks));
        source->poll();
    }
    EXPECT_EQ(events, (Events{"+org.example.shell", "-org.example.shell", "+org.example.cutter"}));
}

TEST_F(EventSourceTests, BetweenListingsOnlyTheNewPidsAreFollowedUnlessTheyWrapped) {
    watchPreparedProc();
    writeLoadAverage(80, 500);
    writeProcess(process(90, "grader"));
    source->startObserving();
    writeProcess(process(501, "cutter"));
    FakeProcess thread = process(502, "shell");
    thread.threadGroup = 501;
    writeProcess(thread);
    // Outside the PIDs handed out since the last tick, so only a listing finds it.
    writeProcess(process(60, "shell"));
    writeLoadAverage(82, 502);
    source->poll();
    // An application that ends is noticed without a listing.
    QDir(proc + QStringLiteral("/90")).removeRecursively();
    writeLoadAverage(81, 502);
    source->poll();
    EXPECT_FALSE(source->lastPollListed());
    EXPECT_EQ(events, (Events{"+org.example.cutter", "-org.example.grader"}));
    for (int tick = 3; tick <= ProcessApplicationEventSource::ticksBetweenListings; ++tick) {
        source->poll();
    }
    EXPECT_EQ(events.value(2), QStringLiteral("+org.example.shell"));
    // PIDs that wrapped around cannot be followed one by one, so a listing comes at once.
    writeProcess(process(300, "grader"));
    writeLoadAverage(82, 300);
    source->poll();
    EXPECT_EQ(events.value(3), QStringLiteral("+org.example.grader"));
}

// Real programs seen through the real /proc: copies of system programs under the names desktop
// entries run, started with only the environment the test gives them.
class RealProcessTests : public EventSourceTests {
protected:
    void SetUp() override {
        EventSourceTests::SetUp();
        using Copy = std::pair<const char*, const char*>;
        for (const auto& [name, original] : {Copy{"editor", "/bin/sleep"}, Copy{"steam", "/bin/sleep"},
                                             Copy{"bwrap", "/bin/sleep"}, Copy{"flatpak", "/bin/sh"}}) {
            ASSERT_TRUE(QFile::copy(QString::fromLatin1(original), bin + u'/' + QString::fromLatin1(name)));
        }
        addEntry("org.example.Editor", "editor %F");
        addEntry("org.example.FlatA", "flatpak run org.example.FlatA");
        addEntry("org.example.FlatB", "flatpak run org.example.FlatB");
        addEntry("steam", "steam %U");
        addEntry("Game 4242", "steam steam://rungameid/4242");
        watch("/proc",
              {"org.example.Editor", "org.example.FlatA", "org.example.FlatB", "steam", "Game 4242"});
        source->startObserving();
    }
    void TearDown() override {
        for (auto& child : children) {
            stop(*child);
        }
    }

    QProcess& start(const QString& program, const Events& arguments, const QString& launchedFile = {}) {
        QProcessEnvironment environment;
        environment.insert("PATH", bin + QStringLiteral(":/usr/bin:/bin"));
        if (!launchedFile.isEmpty()) {
            environment.insert("GIO_LAUNCHED_DESKTOP_FILE", launchedFile);
        }
        children.push_back(std::make_unique<QProcess>());
        children.back()->setProcessEnvironment(environment);
        children.back()->start(program, arguments);
        EXPECT_TRUE(children.back()->waitForStarted());
        return *children.back();
    }
    static void stop(QProcess& child) {
        child.kill();
        child.waitForFinished();
    }

    std::vector<std::unique_ptr<QProcess>> children;
};

TEST_F(RealProcessTests, LaunchAndTerminationOfTwoInstancesAreReportedOnce) {
    QProcess& first = start(bin + "/editor", {"60"});
    ASSERT_TRUE(testing::runUntil([&] { return !events.isEmpty(); }));
    QProcess& second = start(bin + "/editor", {"60"});
    ASSERT_TRUE(testing::runUntil([&] { return running().size() == 2; }));
    stop(first);
    ASSERT_TRUE(testing::runUntil([&] { return running().size() == 1; }));
    stop(second);
    ASSERT_TRUE(testing::runUntil([&] { return events.size() == 2; }));
    EXPECT_EQ(events, (Events{"+org.example.Editor", "-org.example.Editor"}));
}

TEST_F(RealProcessTests, LauncherProgramsNameNobodyTheLaunchersHintDecides) {
    // Steam, beside a game shortcut, started by hand: no hint, so neither application.
    start(bin + "/steam", {"60"});
    // A slow "flatpak run" of the second Flatpak entry as a desktop starts it: the launcher names the
    // entry and the PID, and the program takes 1.5 seconds before it runs the sandbox.
    start("/bin/sh",
          {"-c", "export GIO_LAUNCHED_DESKTOP_FILE_PID=$$; exec flatpak -c 'sleep 1.5; exec bwrap 60'"},
          applications + "/org.example.FlatB.desktop");
    ASSERT_TRUE(testing::runUntil([&] { return !events.isEmpty(); }));
    testing::runUntil([] { return false; }, std::chrono::milliseconds(2500));
    EXPECT_EQ(events, Events{"+org.example.FlatB"});
    EXPECT_EQ(running(), Events{"org.example.FlatB"});
}

} // namespace
} // namespace tarnwell
