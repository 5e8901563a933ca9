#include "LinuxTestSupport.h"
#include "platform/linux/ProcessApplicationEventSource.h"
#include "support/TaskRunner.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace tarnwell {
namespace {

using testing::FakeProcess;
using testing::runUntil;
using testing::writeFile;
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

class PreparedProcTests : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        root = QDir(folder.path()).canonicalPath();
        proc = root + QStringLiteral("/proc");
        applications = root + QStringLiteral("/applications");
        bin = root + QStringLiteral("/bin");
        for (const QString& program :
             {QStringLiteral("cutter"), QStringLiteral("grader"), QStringLiteral("shell")}) {
            writeFile(bin + u'/' + program, "#!/bin/sh\n");
            QFile::setPermissions(bin + u'/' + program, QFile::ReadOwner | QFile::ExeOwner);
            writeFile(applications + QStringLiteral("/org.example.") + program + QStringLiteral(".desktop"),
                      "[Desktop Entry]\nName=" + program.toUtf8() + "\nExec=" + program.toUtf8() + "\n");
        }
        writeUptime(proc, 1000);
        source =
            std::make_unique<ProcessApplicationEventSource>(ProcessIdentifier(proc, {applications}, bin), 0);
        recorder.attach(*source);
    }

    FakeProcess process(pid_t pid, const QString& program, quint64 startTime = 100) {
        FakeProcess fake;
        fake.pid = pid;
        fake.startTime = startTime;
        fake.executable = bin + u'/' + program;
        fake.arguments = {program};
        fake.owner = 0;
        return fake;
    }

    QTemporaryDir folder;
    QString root;
    QString proc;
    QString applications;
    QString bin;
    std::unique_ptr<ProcessApplicationEventSource> source;
    Recorder recorder;
};

TEST_F(PreparedProcTests, ProcessesRunningAtStartAreRunningButNotLaunched) {
    writeProcess(proc, process(100, QStringLiteral("cutter")));
    writeProcess(proc, process(101, QStringLiteral("cutter")));
    writeProcess(proc, process(102, QStringLiteral("grader")));
    EXPECT_EQ(identifiers(source->runningApplications()),
              (QList<QString>{QStringLiteral("org.example.cutter"), QStringLiteral("org.example.cutter"),
                              QStringLiteral("org.example.grader")}));
    source->startObserving();
    source->poll();
    EXPECT_TRUE(recorder.events.isEmpty());
}

TEST_F(PreparedProcTests, NothingIsReportedBeforeObservingStarts) {
    source->poll();
    writeProcess(proc, process(100, QStringLiteral("cutter")));
    source->poll();
    EXPECT_TRUE(recorder.events.isEmpty());
}

TEST_F(PreparedProcTests, FirstInstanceLaunchesAndLastInstanceTerminates) {
    source->startObserving();
    writeProcess(proc, process(100, QStringLiteral("cutter")));
    source->poll();
    writeProcess(proc, process(101, QStringLiteral("cutter")));
    source->poll();
    EXPECT_EQ(recorder.events, QList<QString>{QStringLiteral("+org.example.cutter")});
    QDir(proc + QStringLiteral("/100")).removeRecursively();
    source->poll();
    EXPECT_EQ(recorder.events.size(), 1);
    QDir(proc + QStringLiteral("/101")).removeRecursively();
    source->poll();
    EXPECT_EQ(recorder.events,
              (QList<QString>{QStringLiteral("+org.example.cutter"), QStringLiteral("-org.example.cutter")}));
    EXPECT_TRUE(source->runningApplications().isEmpty());
}

TEST_F(PreparedProcTests, ReusedPidIsANewProcess) {
    writeProcess(proc, process(100, QStringLiteral("cutter"), 100));
    source->startObserving();
    writeProcess(proc, process(100, QStringLiteral("grader"), 5000));
    source->poll();
    EXPECT_EQ(recorder.events,
              (QList<QString>{QStringLiteral("-org.example.cutter"), QStringLiteral("+org.example.grader")}));
}

TEST_F(PreparedProcTests, SameProcessInANewFolderIsNotReportedAgain) {
    writeProcess(proc, process(100, QStringLiteral("cutter"), 100));
    source->startObserving();
    // Same PID and start time: the same process, even though its folder changed.
    writeProcess(proc, process(100, QStringLiteral("cutter"), 100));
    source->poll();
    EXPECT_TRUE(recorder.events.isEmpty());
}

TEST_F(PreparedProcTests, OtherUsersProcessesAreIgnored) {
    source->startObserving();
    FakeProcess stranger = process(100, QStringLiteral("cutter"));
    stranger.owner = 4321;
    writeProcess(proc, stranger);
    source->poll();
    EXPECT_TRUE(recorder.events.isEmpty());
    EXPECT_TRUE(source->runningApplications().isEmpty());
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

TEST_F(PreparedProcTests, FolderThatIsNoProcessIsSkipped) {
    source->startObserving();
    QDir().mkpath(proc + QStringLiteral("/200"));
    QDir().mkpath(proc + QStringLiteral("/self"));
    writeProcess(proc, process(100, QStringLiteral("cutter")));
    source->poll();
    EXPECT_EQ(recorder.events, QList<QString>{QStringLiteral("+org.example.cutter")});
}

TEST_F(PreparedProcTests, BetweenListingsOnlyTheNewPidsAreFollowed) {
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
}

TEST_F(PreparedProcTests, WrappedPidsAreFoundByAListing) {
    writeLoadAverage(proc, 80, 32000);
    source->startObserving();
    writeProcess(proc, process(300, QStringLiteral("cutter")));
    writeLoadAverage(proc, 81, 300);
    source->poll();
    EXPECT_TRUE(source->lastPollListed());
    EXPECT_EQ(recorder.events, QList<QString>{QStringLiteral("+org.example.cutter")});
}

// Real programs started from a desktop entry, seen through the real /proc.
class RealProcessTests : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        const QString root = QDir(folder.path()).canonicalPath();
        program = root + QStringLiteral("/bin/tarnwell-test-editor");
        QDir().mkpath(root + QStringLiteral("/bin"));
        ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), program));
        writeFile(root + QStringLiteral("/share/applications/org.example.TestEditor.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Test Editor\nExec=tarnwell-test-editor %F\n");
        source = std::make_unique<ProcessApplicationEventSource>(
            ProcessIdentifier(QStringLiteral("/proc"), {root + QStringLiteral("/share/applications")},
                              root + QStringLiteral("/bin")));
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

    QTemporaryDir folder;
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
}

} // namespace
} // namespace tarnwell
