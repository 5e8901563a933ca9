#include "core/disk/ShellProcessExecution.h"
#include "core/disk/ShellRunner.h"
#include "core/model/TarnwellError.h"
#include "core/support/CancellationError.h"
#include "core/support/PlatformError.h"
#include "support/TarnwellErrorCapture.h"
#include "support/TaskRunner.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>
#include <thread>

using namespace tarnwell;
using namespace std::chrono_literals;
using tarnwell::testing::expectTarnwellError;
using tarnwell::testing::runTask;
using tarnwell::testing::runUntil;

namespace {

const QString shell = QStringLiteral("/bin/sh");

// Each test gets its own per-user temporary directory, so leftovers of any path are visible.
class ShellRunnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_temporary.isValid());
        ASSERT_TRUE(m_work.isValid());
        m_previousTemporary = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(m_temporary.path()));
    }
    void TearDown() override {
        EXPECT_EQ(temporaryEntries(), QStringList()) << "temporary files were left behind";
        qputenv("TMPDIR", m_previousTemporary);
    }

    QStringList temporaryEntries() const {
        return QDir(m_temporary.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    QString workPath(const QString& name) const { return m_work.filePath(name); }

    // The process identifier a script wrote with `echo $$ > file`.
    pid_t writtenPid(const QString& path) const {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? static_cast<pid_t>(file.readAll().trimmed().toLongLong()) : 0;
    }

    static bool processIsGone(pid_t pid) { return pid > 0 && ::kill(pid, 0) == -1 && errno == ESRCH; }

    QTemporaryDir m_temporary;
    QTemporaryDir m_work;
    QByteArray m_previousTemporary;
};

} // namespace

// Both streams are read as UTF-8; bytes that are not UTF-8, even a sequence cut off at the end,
// are replaced rather than dropped.
TEST_F(ShellRunnerTest, ReturnsBothStreamsAndTheExitCodeOfAFailingCommand) {
    ShellRunner runner;
    const ShellResult result = runTask(
        runner.run(shell, {QStringLiteral("-c"),
                           QStringLiteral("printf 'out\\377\\n'; printf 'bad disk\\300' >&2; exit 3")}));
    EXPECT_EQ(result, (ShellResult{QStringLiteral("out\uFFFD\n"), QStringLiteral("bad disk\uFFFD"), 3}));
}

TEST_F(ShellRunnerTest, PassesEachArgumentVerbatimWithoutAShell) {
    ShellRunner runner;
    const QStringList arguments = {QStringLiteral("%s|"),
                                   QStringLiteral("two words"),
                                   QStringLiteral("$HOME"),
                                   QStringLiteral("*"),
                                   QString(),
                                   QStringLiteral("quote'\"; rm -rf /"),
                                   QStringLiteral("line\nbreak"),
                                   QStringLiteral("Été — 日本")};
    const ShellResult result = runTask(runner.run(QStringLiteral("/usr/bin/printf"), arguments));
    EXPECT_EQ(result.output, arguments.mid(1).join(QLatin1Char('|')) + QLatin1Char('|'));
    EXPECT_EQ(result.exitCode, 0);
}

TEST_F(ShellRunnerTest, FiftyMegabytesOfOutputDoNotStallTheChild) {
    ShellRunner runner;
    const ShellResult result = runTask(
        runner.run(shell, {QStringLiteral("-c"),
                           QStringLiteral(
                               "head -c 52428800 /dev/zero | tr '\\0' x; head -c 1048576 /dev/zero >&2")}),
        60s);
    EXPECT_EQ(result.output.size(), 52428800);
    EXPECT_EQ(result.error.size(), 1048576);
}

TEST_F(ShellRunnerTest, StandardInputIsEmpty) {
    ShellRunner runner;
    EXPECT_EQ(runTask(runner.run(QStringLiteral("/bin/cat"), {})).output, QString());
}

TEST_F(ShellRunnerTest, CapturesThroughUniquelyNamedFilesThatExistOnlyWhileTheCommandRuns) {
    ShellRunner runner;
    QCoro::Task<ShellResult> task = runner.run(shell, {QStringLiteral("-c"), QStringLiteral("sleep 0.5")});
    ASSERT_TRUE(runUntil([&] { return temporaryEntries().size() == 2; }));
    const QRegularExpression name(QStringLiteral(
        "^tarnwell-shell-(output|error)-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    for (const QString& entry : temporaryEntries()) {
        EXPECT_TRUE(name.match(entry).hasMatch()) << entry.toStdString();
    }
    EXPECT_EQ(runTask(std::move(task)).exitCode, 0);
}

TEST_F(ShellRunnerTest, LaunchFailuresArePlatformErrorsWithTheSystemsText) {
    ShellRunner runner;
    const QString missing = workPath(QStringLiteral("no-such-tool"));
    try {
        runTask(runner.run(missing, {}));
        ADD_FAILURE() << "a missing executable ran";
    } catch (const PlatformError& error) {
        EXPECT_TRUE(error.message().contains(QStringLiteral("No such file")))
            << error.message().toStdString();
    }

    const QString notExecutable = workPath(QStringLiteral("plain-file"));
    QFile file(notExecutable);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\necho hi\n");
    file.close();
    ASSERT_TRUE(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    try {
        runTask(runner.run(notExecutable, {}));
        ADD_FAILURE() << "a file without execute permission ran";
    } catch (const PlatformError& error) {
        EXPECT_TRUE(error.message().contains(QStringLiteral("Permission denied")))
            << error.message().toStdString();
    }
}

TEST_F(ShellRunnerTest, TimeOutReportsMinusOneAndTheTimeOutText) {
    // A zero time-out ends the command right after launch.
    for (const auto& [timeout, text] : {std::pair{0.25, "0.25"}, std::pair{0.0, "0.0"}}) {
        ShellRunner runner(timeout);
        QElapsedTimer clock;
        clock.start();
        const TarnwellError error = expectTarnwellError(
            runner.run(shell, {QStringLiteral("-c"), QStringLiteral("echo partial; exec sleep 30")}));
        EXPECT_EQ(error,
                  TarnwellError::commandFailed(
                      -1, QStringLiteral("Command timed out after %1 seconds").arg(QLatin1String(text))));
        EXPECT_LT(clock.elapsed(), 5000);
    }
}

TEST_F(ShellRunnerTest, ChildIgnoringTheTerminationSignalIsKilledHalfASecondAfterTheTimeOut) {
    ShellRunner runner(1.0);
    const QString pidFile = workPath(QStringLiteral("pid"));
    QElapsedTimer clock;
    clock.start();
    const TarnwellError error = expectTarnwellError(
        runner.run(shell, {QStringLiteral("-c"),
                           QStringLiteral("trap '' TERM; echo $$ > '%1'; exec sleep 30").arg(pidFile)}));
    const qint64 elapsed = clock.elapsed();
    EXPECT_EQ(error.payload(), QStringLiteral("Command timed out after 1.0 seconds"));
    EXPECT_GE(elapsed, 1450);
    EXPECT_LT(elapsed, 4000);
    EXPECT_TRUE(processIsGone(writtenPid(pidFile)));
}

TEST_F(ShellRunnerTest, CancellationBeforeLaunchStartsNothing) {
    ShellRunner runner;
    std::stop_source stop;
    stop.request_stop();
    const QString marker = workPath(QStringLiteral("ran"));
    EXPECT_THROW(runTask(runner.run(shell, {QStringLiteral("-c"), QStringLiteral("touch '%1'").arg(marker)},
                                    stop.get_token())),
                 CancellationError);
    runUntil([] { return false; }, 200ms);
    EXPECT_FALSE(QFile::exists(marker));
}

TEST_F(ShellRunnerTest, CancellationWhileRunningEndsTheProcessBeforeReporting) {
    ShellRunner runner;
    std::stop_source stop;
    const QString pidFile = workPath(QStringLiteral("pid"));
    QTimer::singleShot(300, [&stop] { stop.request_stop(); });
    EXPECT_THROW(
        runTask(runner.run(
            shell, {QStringLiteral("-c"), QStringLiteral("echo $$ > '%1'; exec sleep 30").arg(pidFile)},
            stop.get_token())),
        CancellationError);
    EXPECT_TRUE(processIsGone(writtenPid(pidFile)));
}

TEST_F(ShellRunnerTest, CancellationFromAnotherThreadIsHonoured) {
    ShellRunner runner;
    std::stop_source stop;
    std::thread canceller([&stop] {
        std::this_thread::sleep_for(300ms);
        stop.request_stop();
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_THROW(
        runTask(runner.run(shell, {QStringLiteral("-c"), QStringLiteral("exec sleep 30")}, stop.get_token())),
        CancellationError);
    canceller.join();
    EXPECT_LT(clock.elapsed(), 5000);
}

TEST_F(ShellRunnerTest, CancellationAfterTheTimeOutKeepsTheTimeOutAsTheReason) {
    ShellRunner runner(0.2);
    std::stop_source stop;
    // The child ignores the termination signal, so it is still running when the stop arrives.
    QTimer::singleShot(450, [&stop] { stop.request_stop(); });
    const TarnwellError error = expectTarnwellError(runner.run(
        shell, {QStringLiteral("-c"), QStringLiteral("trap '' TERM; exec sleep 30")}, stop.get_token()));
    EXPECT_EQ(error.payload(), QStringLiteral("Command timed out after 0.2 seconds"));
}

TEST_F(ShellRunnerTest, AnExecutionRunsOnlyOnce) {
    auto execution = std::make_unique<ShellProcessExecution>(
        QStringLiteral("/bin/true"), QStringList(),
        std::make_unique<TemporaryOutputFile>(QStringLiteral("tarnwell-shell-output")),
        std::make_unique<TemporaryOutputFile>(QStringLiteral("tarnwell-shell-error")));
    const auto runTwice = [](ShellProcessExecution* target) -> QCoro::Task<ShellResult> {
        co_await target->run(5.0);
        co_return co_await target->run(5.0);
    };
    try {
        runTask(runTwice(execution.get()));
        ADD_FAILURE() << "the second run started";
    } catch (const TarnwellError& error) {
        EXPECT_EQ(error, TarnwellError::unknown(QStringLiteral("Shell process already started")));
    }
}

TEST(ShellRunnerTimeOutText, PrintsTheShortestRoundTripWithAFractionalDigit) {
    EXPECT_EQ(ShellProcessExecution::timeoutMessage(30.0),
              QStringLiteral("Command timed out after 30.0 seconds"));
    EXPECT_EQ(ShellProcessExecution::timeoutMessage(0.1),
              QStringLiteral("Command timed out after 0.1 seconds"));
    EXPECT_EQ(ShellProcessExecution::timeoutMessage(2.5),
              QStringLiteral("Command timed out after 2.5 seconds"));
    EXPECT_EQ(ShellProcessExecution::timeoutMessage(1234567.0),
              QStringLiteral("Command timed out after 1234567.0 seconds"));
    EXPECT_EQ(ShellRunner().timeout(), 30.0);
}

TEST(ShellRunnerTimeOutText, RefusesATimeOutThatIsNoDuration) {
    EXPECT_THROW(ShellRunner(std::numeric_limits<double>::infinity()), std::invalid_argument);
    EXPECT_THROW(ShellRunner(std::numeric_limits<double>::quiet_NaN()), std::invalid_argument);
    EXPECT_THROW(ShellRunner(1e12), std::invalid_argument);
}

TEST_F(ShellRunnerTest, ACommandEndedByASignalIsAResultNotAnError) {
    ShellRunner runner;
    const ShellResult result =
        runTask(runner.run(shell, {QStringLiteral("-c"), QStringLiteral("printf 'before'; kill -KILL $$")}));
    EXPECT_EQ(result.output, QStringLiteral("before"));
    EXPECT_NE(result.exitCode, 0);
}
