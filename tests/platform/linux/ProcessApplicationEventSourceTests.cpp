#include "LinuxTestSupport.h"
#include "platform/linux/ProcessApplicationEventSource.h"
#include "support/TaskRunner.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace tarnwell {
namespace {

using testing::FakeProcess;
using testing::runUntil;
using testing::writeLoadAverage;
using testing::writeProcess;
using testing::writeUptime;

// What a source reported, in order: "+id" for a launch, "-id" for a termination.
struct Recorder {
    QList<QString> events;

    void attach(ProcessApplicationEventSource& source) {
        QObject::connect(&source, &ApplicationEventSource::applicationLaunched,
                         [this](const RunningApplication& application) {
                             events.append(u'+' + application.bundleIdentifier.value_or(QStringLiteral("?")));
                         });
        QObject::connect(&source, &ApplicationEventSource::applicationTerminated,
                         [this](const RunningApplication& application) {
                             events.append(u'-' + application.bundleIdentifier.value_or(QStringLiteral("?")));
                         });
    }
};

QList<QString> identifiers(const QList<RunningApplication>& applications) {
    QList<QString> result;
    for (const RunningApplication& application : applications) {
        result.append(application.bundleIdentifier.value_or(QString()));
    }
    std::sort(result.begin(), result.end());
    return result;
}

class PreparedProcTests : public testing::PreparedSystem {
protected:
    void SetUp() override {
        PreparedSystem::SetUp();
        for (const QString& program :
             {QStringLiteral("cutter"), QStringLiteral("grader"), QStringLiteral("shell")}) {
            addProgram(program);
            addEntry(QStringLiteral("org.example.") + program, program.toUtf8());
        }
        writeUptime(proc, 1000);
        source = std::make_unique<ProcessApplicationEventSource>(ProcessIdentifier(proc, {applications}, bin),
                                                                 ::geteuid());
        recorder.attach(*source);
    }

    std::unique_ptr<ProcessApplicationEventSource> source;
    Recorder recorder;
};

TEST_F(PreparedProcTests, ProcessesRunningBeforeObservingAreRunningButNotLaunched) {
    source->poll();
    writeProcess(proc, process(100, QStringLiteral("cutter")));
    source->poll();
    writeProcess(proc, process(101, QStringLiteral("cutter")));
    writeProcess(proc, process(102, QStringLiteral("grader")));
    EXPECT_EQ(identifiers(source->runningApplications()),
              (QList<QString>{QStringLiteral("org.example.cutter"), QStringLiteral("org.example.cutter"),
                              QStringLiteral("org.example.grader")}));
    source->startObserving();
    source->poll();
    EXPECT_TRUE(recorder.events.isEmpty());
}

TEST_F(PreparedProcTests, ProcessIsItsPidAndStartTimeNotItsFolder) {
    writeProcess(proc, process(100, QStringLiteral("cutter"), 100));
    source->startObserving();
    // Same PID and start time in a new folder: the same process.
    writeProcess(proc, process(100, QStringLiteral("cutter"), 100));
    source->poll();
    EXPECT_TRUE(recorder.events.isEmpty());
    // A reused PID with a later start time: a new process.
    writeProcess(proc, process(100, QStringLiteral("grader"), 5000));
    source->poll();
    EXPECT_EQ(recorder.events,
              (QList<QString>{QStringLiteral("-org.example.cutter"), QStringLiteral("+org.example.grader")}));
}

TEST_F(PreparedProcTests, OtherUsersProcessesAndFoldersThatAreNoProcessesAreSkipped) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "giving a process folder to another user needs root";
    }
    source->startObserving();
    FakeProcess stranger = process(100, QStringLiteral("cutter"));
    stranger.owner = 4321;
    writeProcess(proc, stranger);
    QDir().mkpath(proc + QStringLiteral("/200"));
    QDir().mkpath(proc + QStringLiteral("/self"));
    writeProcess(proc, process(300, QStringLiteral("grader")));
    source->poll();
    EXPECT_EQ(recorder.events, QList<QString>{QStringLiteral("+org.example.grader")});
    EXPECT_EQ(identifiers(source->runningApplications()),
              QList<QString>{QStringLiteral("org.example.grader")});
}

TEST_F(PreparedProcTests, YoungProcessIsLookedAtAgainAfterItRunsItsProgram) {
    writeUptime(proc, 10.0);
    const quint64 ticks = static_cast<quint64>(::sysconf(_SC_CLK_TCK));
    source->startObserving();
    // Just forked from a shell: it still runs the shell's program.
    writeProcess(proc, process(100, QStringLiteral("shell"), 10 * ticks));
    source->poll();
    EXPECT_EQ(recorder.events, QList<QString>{QStringLiteral("+org.example.shell")});
    writeProcess(proc, process(100, QStringLiteral("cutter"), 10 * ticks));
    source->poll();
    EXPECT_EQ(recorder.events,
              (QList<QString>{QStringLiteral("+org.example.shell"), QStringLiteral("-org.example.shell"),
                              QStringLiteral("+org.example.cutter")}));
    // Once it has settled, it is not read again.
    writeUptime(proc, 12.0);
    source->poll();
    writeProcess(proc, process(100, QStringLiteral("grader"), 10 * ticks));
    source->poll();
    EXPECT_EQ(recorder.events.size(), 3);
}

TEST_F(PreparedProcTests, BetweenListingsOnlyTheNewPidsAreFollowedUnlessTheyWrapped) {
    writeLoadAverage(proc, 80, 500);
    writeProcess(proc, process(90, QStringLiteral("grader")));
    source->startObserving();

    writeProcess(proc, process(501, QStringLiteral("cutter")));
    FakeProcess thread = process(502, QStringLiteral("shell"));
    thread.threadGroup = 501;
    writeProcess(proc, thread);
    // Outside the PIDs handed out since the last tick, so only a listing finds it.
    writeProcess(proc, process(60, QStringLiteral("shell")));
    writeLoadAverage(proc, 82, 502);
    source->poll();
    EXPECT_FALSE(source->lastPollListed());
    EXPECT_EQ(recorder.events, QList<QString>{QStringLiteral("+org.example.cutter")});

    // An application that ends is noticed without a listing.
    QDir(proc + QStringLiteral("/90")).removeRecursively();
    writeLoadAverage(proc, 81, 502);
    source->poll();
    EXPECT_FALSE(source->lastPollListed());
    EXPECT_EQ(recorder.events,
              (QList<QString>{QStringLiteral("+org.example.cutter"), QStringLiteral("-org.example.grader")}));

    for (int tick = 3; tick <= ProcessApplicationEventSource::ticksBetweenListings; ++tick) {
        source->poll();
    }
    EXPECT_TRUE(source->lastPollListed());
    EXPECT_EQ(recorder.events.size(), 3);
    EXPECT_EQ(recorder.events.last(), QStringLiteral("+org.example.shell"));

    // PIDs that wrapped around cannot be followed one by one, so a listing comes at once.
    writeProcess(proc, process(300, QStringLiteral("grader")));
    writeLoadAverage(proc, 82, 300);
    source->poll();
    EXPECT_TRUE(source->lastPollListed());
    EXPECT_EQ(recorder.events.last(), QStringLiteral("+org.example.grader"));
}

// Real programs started from a desktop entry, seen through the real /proc.
class RealProcessTests : public testing::PreparedSystem {
protected:
    void SetUp() override {
        PreparedSystem::SetUp();
        program = bin + QStringLiteral("/tarnwell-test-editor");
        ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), program));
        addEntry(QStringLiteral("org.example.TestEditor"), "tarnwell-test-editor %F");
        source = std::make_unique<ProcessApplicationEventSource>(
            ProcessIdentifier(QStringLiteral("/proc"), {applications}, bin));
        recorder.attach(*source);
    }

    void TearDown() override {
        for (auto& child : children) {
            child->kill();
            child->waitForFinished();
        }
    }

    QProcess& start() {
        children.push_back(std::make_unique<QProcess>());
        children.back()->start(program, {QStringLiteral("60")});
        EXPECT_TRUE(children.back()->waitForStarted());
        return *children.back();
    }

    void stop(QProcess& child) {
        child.kill();
        child.waitForFinished();
    }

    QString program;
    std::unique_ptr<ProcessApplicationEventSource> source;
    Recorder recorder;
    std::vector<std::unique_ptr<QProcess>> children;
};

TEST_F(RealProcessTests, LaunchAndTerminationOfTwoInstancesAreReportedOnce) {
    const QString id = QStringLiteral("org.example.TestEditor");
    source->startObserving();
    QProcess& first = start();
    ASSERT_TRUE(runUntil([&] { return !recorder.events.isEmpty(); }));
    EXPECT_EQ(recorder.events, QList<QString>{u'+' + id});

    QProcess& second = start();
    ASSERT_TRUE(runUntil([&] { return source->runningApplications().size() == 2; }));
    EXPECT_EQ(identifiers(source->runningApplications()), (QList<QString>{id, id}));

    stop(first);
    ASSERT_TRUE(runUntil([&] { return source->runningApplications().size() == 1; }));
    EXPECT_EQ(recorder.events.size(), 1);

    stop(second);
    ASSERT_TRUE(runUntil([&] { return recorder.events.size() == 2; }));
    EXPECT_EQ(recorder.events, (QList<QString>{u'+' + id, u'-' + id}));
    EXPECT_TRUE(source->runningApplications().isEmpty());
}

} // namespace
} // namespace tarnwell
