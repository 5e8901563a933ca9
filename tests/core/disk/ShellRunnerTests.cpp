#include "core/disk/ShellRunner.h"
#include "core/disk/TemporaryOutputFile.h"
#include "core/model/TarnwellError.h"
#include "core/support/CancellationError.h"
#include "core/support/PlatformError.h"
#include "support/QtPrinters.h"
#include "support/TarnwellErrorCapture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace tarnwell;
using namespace std::chrono_literals;
using tarnwell::testing::runTask;
using tarnwell::testing::runUntil;

namespace {

const QString shell = QStringLiteral("/bin/sh");

// Each test gets its own temporary and runtime directories, so leftovers of any path are visible.
class ShellRunnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_temporary.isValid() && m_runtime.isValid() && m_work.isValid());
        m_saved = {qgetenv("TMPDIR"), qgetenv("XDG_RUNTIME_DIR")};
        qputenv("TMPDIR", QFile::encodeName(m_temporary.path()));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    }
    void TearDown() override {
        EXPECT_EQ(entries(m_temporary) + entries(m_runtime), QStringList())
            << "capture files were left behind";
        qputenv("TMPDIR", m_saved.first);
        qputenv("XDG_RUNTIME_DIR", m_saved.second);
    }

    static QStringList entries(const QTemporaryDir& directory) {
        return QDir(directory.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }
    QString workPath(const QString& name) const { return m_work.filePath(name); }

    QTemporaryDir m_temporary;
    QTemporaryDir m_runtime;
    QTemporaryDir m_work;
    std::pair<QByteArray, QByteArray> m_saved;
};

} // namespace

// Arguments reach the program verbatim, with no shell in between; both streams are read as UTF-8
// with bytes that are not UTF-8 replaced, even a sequence cut off at the end.
TEST_F(ShellRunnerTest, ResultsCarryBothStreamsAndTheExitStatus) {
    const QStringList verbatim = {"%s|",         "two words",    "$HOME",     "*", "", "quote'\"; rm -rf /",
                                  "line\nbreak", "`x` $(x) <&>", "Été — 日本"};
    struct Row {
        QString program;
        QStringList arguments;
        ShellResult expected;
    };
    for (const Row& row : {
             Row{shell,
                 {"-c", "printf 'out\\377\\n'; printf 'bad disk\\300' >&2; exit 3"},
                 {"out\uFFFD\n", "bad disk\uFFFD", 3}},
             Row{"/usr/bin/printf", verbatim, {verbatim.mid(1).join('|') + '|', {}, 0}},
             Row{"/bin/cat", {}, {}},
             Row{shell, {"-c", "printf 'before'; kill -KILL $$"}, {"before", {}, SIGKILL}},
         }) {
        EXPECT_EQ(runTask(ShellRunner().run(row.program, row.arguments)), row.expected)
            << row.arguments.join(' ').toStdString();
    }
    const ShellResult large =
        runTask(ShellRunner().run(
                    shell, {"-c", "head -c 52428800 /dev/zero | tr '\\0' x; head -c 1048576 /dev/zero >&2"}),
                60s);
    EXPECT_EQ(large.output.size(), 52428800);
    EXPECT_EQ(large.error.size(), 1048576);
}

// The capture files are the user's alone: created afresh with owner-only permissions, in the
// runtime directory when it is usable, else in the temporary directory.
TEST_F(ShellRunnerTest, CaptureFilesArePrivateAndExistOnlyWhileTheCommandRuns) {
    const QString plainFile = workPath("not-a-directory");
    QFile(plainFile).open(QIODevice::WriteOnly);
    const QString foreign = workPath("foreign");
    ASSERT_TRUE(QDir().mkpath(foreign));
    std::vector<std::pair<QString, const QTemporaryDir*>> rows = {
        {m_runtime.path(), &m_runtime}, {QString(), &m_temporary}, {plainFile, &m_temporary}};
    if (::geteuid() == 0 && ::chown(QFile::encodeName(foreign).constData(), 65534, 65534) == 0) {
        rows.push_back({foreign, &m_temporary});
    }
    const QRegularExpression name(
        "^tarnwell-shell-(output|error)-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$");
    for (const auto& [runtime, expected] : rows) {
        SCOPED_TRACE(runtime.toStdString());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        QCoro::Task<ShellResult> task = ShellRunner().run(shell, {"-c", "sleep 0.5; echo done"});
        ASSERT_TRUE(runUntil([&] { return entries(*expected).size() == 2; }));
        for (const QString& entry : entries(*expected)) {
            EXPECT_TRUE(name.match(entry).hasMatch()) << entry.toStdString();
            struct stat status {};
            ASSERT_EQ(::lstat(QFile::encodeName(expected->filePath(entry)).constData(), &status), 0);
            EXPECT_TRUE(S_ISREG(status.st_mode));
            EXPECT_EQ(status.st_mode & 07777, 0600u);
        }
        EXPECT_EQ(runTask(std::move(task)).output, "done\n");
    }
}

// Whatever is found at a capture file's name, a file or a link to another file, is left alone and
// the command fails instead of writing through it.
TEST_F(ShellRunnerTest, AnythingPlantedAtTheNameIsNeitherFollowedNorTruncated) {
    const QUuid id = QUuid::createUuid();
    const QString planted =
        m_runtime.filePath("tarnwell-shell-output-" + id.toString(QUuid::WithoutBraces).toUpper());
    const QString victim = workPath("victim");
    QFile victimFile(victim);
    ASSERT_TRUE(victimFile.open(QIODevice::WriteOnly) && victimFile.write("precious") == 8);
    victimFile.close();
    for (const QString& link : {victim, workPath("missing"), QString()}) {
        SCOPED_TRACE(link.toStdString());
        if (link.isEmpty()) {
            QFile file(planted);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("precious") == 8);
        } else {
            ASSERT_TRUE(QFile::link(link, planted));
        }
        EXPECT_THROW(TemporaryOutputFile("tarnwell-shell-output", id), PlatformError);
        QFile check(link.isEmpty() ? planted : victim);
        ASSERT_TRUE(check.open(QIODevice::ReadOnly));
        EXPECT_EQ(check.readAll(), "precious");
        EXPECT_FALSE(QFile::exists(workPath("missing")));
        ASSERT_TRUE(QFile::remove(planted));
    }
}

TEST_F(ShellRunnerTest, LaunchFailuresArePlatformErrorsWithTheSystemsText) {
    for (const auto& [program, text] : {std::pair{workPath("no-such-tool"), "No such file"},
                                        std::pair{QStringLiteral("/etc/passwd"), "Permission denied"}}) {
        try {
            runTask(ShellRunner().run(program, {}));
            ADD_FAILURE() << program.toStdString() << " ran";
        } catch (const PlatformError& error) {
            EXPECT_TRUE(error.message().contains(text)) << error.message().toStdString();
        }
    }
    EXPECT_THROW(ShellRunner(std::numeric_limits<double>::infinity()), std::invalid_argument);
    EXPECT_THROW(ShellRunner(std::numeric_limits<double>::quiet_NaN()), std::invalid_argument);
    EXPECT_THROW(ShellRunner(1e12), std::invalid_argument);
}

// A time-out or a stop ends the process before the error is reported: the termination signal
// first, the kill signal half a second later for a child that ignores it. The first reason wins.
TEST_F(ShellRunnerTest, TimeOutsAndStopsEndTheCommandWithTheFirstReason) {
    enum class Stop { None, BeforeLaunch, Soon, SoonFromAnotherThread };
    struct Row {
        const char* name;
        double timeout;
        QString script;
        Stop stop;
        int stopAfterMs;
        std::optional<QString> timeoutText; // nothing: a cancellation
        qint64 minimumMs;
    };
    const QString ignoreTerm = "trap '' TERM; ";
    const QString marker = workPath("ran");
    for (const Row& row : {
             Row{"time-out", 0.25, "echo partial; exec sleep 30", Stop::None, 0, "0.25", 200},
             Row{"zero time-out", 0.0, "exec sleep 30", Stop::None, 0, "0.0", 0},
             Row{"termination ignored", 1.0, ignoreTerm + "exec sleep 30", Stop::None, 0, "1.0", 1450},
             Row{"stopped before launch", 30.0, "touch '" + marker + "'", Stop::BeforeLaunch, 0, {}, 0},
             Row{"stopped by a thread", 30.0, "exec sleep 30", Stop::SoonFromAnotherThread, 300, {}, 250},
             Row{"stopped after the time-out", 0.2, ignoreTerm + "exec sleep 30", Stop::Soon, 450, "0.2",
                 450},
         }) {
        SCOPED_TRACE(row.name);
        const QString pidFile = workPath(QStringLiteral("pid-%1").arg(row.name));
        std::stop_source stop;
        std::jthread stopper;
        if (row.stop == Stop::BeforeLaunch) {
            stop.request_stop();
        } else if (row.stop == Stop::Soon) {
            QTimer::singleShot(row.stopAfterMs, [&stop] { stop.request_stop(); });
        } else if (row.stop == Stop::SoonFromAnotherThread) {
            stopper = std::jthread([&stop, &row] {
                std::this_thread::sleep_for(std::chrono::milliseconds(row.stopAfterMs));
                stop.request_stop();
            });
        }
        QElapsedTimer clock;
        clock.start();
        try {
            runTask(ShellRunner(row.timeout)
                        .run(shell, {"-c", QStringLiteral("echo $$ > '%1'; %2").arg(pidFile, row.script)},
                             stop.get_token()));
            ADD_FAILURE() << "the command was not ended";
        } catch (const TarnwellError& error) {
            EXPECT_EQ(error,
                      TarnwellError::commandFailed(-1, "Command timed out after " +
                                                           row.timeoutText.value_or("?") + " seconds"));
        } catch (const CancellationError&) {
            EXPECT_FALSE(row.timeoutText.has_value()) << "cancelled instead of timed out";
        }
        EXPECT_GE(clock.elapsed(), row.minimumMs);
        EXPECT_LT(clock.elapsed(), row.minimumMs + 3000);
        // A zero time-out may end the shell before it writes its number.
        QFile written(pidFile);
        const pid_t pid = written.open(QIODevice::ReadOnly) ? written.readAll().trimmed().toInt() : 0;
        EXPECT_TRUE(pid == 0 ? row.stop == Stop::BeforeLaunch || row.timeout == 0
                             : ::kill(pid, 0) == -1 && errno == ESRCH);
    }
    runUntil([] { return false; }, 200ms);
    EXPECT_FALSE(QFile::exists(marker));
}
