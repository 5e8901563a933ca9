#include "app/DiagnosticsViewModel.h"
#include "platform/linux/ConfigurationProbe.h"
#include "platform/linux/EditorsProbe.h"
#include "support/TaskRunner.h"

#include <QCoroTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace tarnwell {
namespace {

using namespace std::chrono_literals;
using testing::runTask;
using testing::runUntil;

// Answers after a delay, shorter for each later run, with the run's number, or throws; for the
// interleavings of a run against the time limit and against the next run.
class TimedProbe : public HealthProbing {
public:
    TimedProbe(QString title, std::chrono::milliseconds delay, bool throws = false)
        : m_title(std::move(title))
        , m_delay(delay)
        , m_throws(throws) {}

    QString title() const override { return m_title; }
    QCoro::Task<HealthCheck> check(HealthInputs) override {
        // Later runs answer sooner, so an earlier run's answer arrives last.
        ++m_runs;
        return answer(m_title, m_delay / m_runs, m_throws, m_runs, finished);
    }

    // Answers given so far, kept past the probe for the test to wait on.
    std::shared_ptr<int> finished = std::make_shared<int>(0);

private:
    static QCoro::Task<HealthCheck> answer(QString title, std::chrono::milliseconds delay, bool throws,
                                           int run, std::shared_ptr<int> finished) {
        QTimer timer;
        timer.setSingleShot(true);
        timer.start(delay);
        co_await timer;
        ++*finished;
        if (throws) {
            throw std::runtime_error("boom");
        }
        co_return HealthCheck{title, HealthState::Fine, QStringLiteral("run %1").arg(run)};
    }

    QString m_title;
    std::chrono::milliseconds m_delay;
    bool m_throws;
    int m_runs = 0;
};

TEST(DiagnosticsViewModelTest, ChecksRunTogetherWithinTheTimeLimitAndOnlyTheLatestRunCounts) {
    auto log = std::make_shared<LogService>();
    const auto slow = std::make_shared<TimedProbe>("Slow", 800ms);
    DiagnosticsViewModel model({std::make_shared<TimedProbe>("Quick", 10ms),
                                std::make_shared<TimedProbe>("Broken", 10ms, true), slow},
                               {}, log, 300ms);
    EXPECT_FALSE(model.rows().at(0).hasAnswered);
    model.runChecks();
    // A second run before the first answers supersedes it.
    model.runChecks();
    EXPECT_TRUE(model.isRunning());
    EXPECT_TRUE(std::all_of(model.rows().cbegin(), model.rows().cend(),
                            [](const auto& row) { return row.isChecking; }));
    ASSERT_TRUE(runUntil([&] { return !model.isRunning(); }, 2s));
    const auto& rows = model.rows();
    EXPECT_EQ(rows.at(0).check, (HealthCheck{"Quick", HealthState::Fine, "run 2"}));
    EXPECT_EQ(rows.at(1).check.state, HealthState::NotWorking);
    EXPECT_EQ(rows.at(1).check.finding, "The check failed: boom");
    EXPECT_EQ(rows.at(2).check.state, HealthState::NotWorking);
    EXPECT_TRUE(rows.at(2).check.finding.startsWith("No answer within"))
        << rows.at(2).check.finding.toStdString();
    // The slow answer still arrives and is the truer one.
    ASSERT_TRUE(runUntil([&] { return model.rows().at(2).check.state == HealthState::Fine; }, 2s));
    EXPECT_EQ(model.rows().at(2).check.finding, "run 2");
    EXPECT_FALSE(model.isRunning());
    // The superseded run's answer changes nothing when it comes.
    ASSERT_TRUE(runUntil([&] { return *slow->finished == 2; }, 2s));
    EXPECT_EQ(model.rows().at(2).check.finding, "run 2");
}

TEST(DiagnosticsViewModelTest, TheLogFiltersToFailuresSavesWholeAndTheReportNamesTheVersions) {
    auto log = std::make_shared<LogService>();
    log->record("App launched: org.kde.kdenlive");
    log->record("App launch: failed to mount Rushes: not permitted");
    log->record("Rushes is ready to unmount.");
    // A name that reads like a failure inside the time stamp's brackets does not count.
    EXPECT_FALSE(DiagnosticsViewModel::isFailureLine("[error] fine"));
    DiagnosticsViewModel model({}, {}, log);
    EXPECT_EQ(model.logLines(true), QList<QString>{log->entries().at(1)});
    EXPECT_EQ(model.logLines(false), log->entries());

    QTemporaryDir folder;
    const QString path = folder.filePath("activity.log");
    EXPECT_EQ(model.saveLog(path, false), std::nullopt);
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), (log->copyableText() + "\n").toUtf8());
    const auto failure = model.saveLog(folder.filePath("missing/activity.log"), false);
    ASSERT_TRUE(failure.has_value());
    EXPECT_TRUE(failure->startsWith("Could not save the log to " + folder.filePath("missing/activity.log")));
}

TEST(DiagnosticsViewModelTest, TheReportHasEveryCheckAndTheVersions) {
    class Fixed : public HealthProbing {
    public:
        explicit Fixed(HealthCheck check)
            : m_check(std::move(check)) {}
        QString title() const override { return m_check.title; }
        QCoro::Task<HealthCheck> check(HealthInputs) override { co_return m_check; }

    private:
        HealthCheck m_check;
    };
    HealthCheck mounting{"Mounting", HealthState::NeedsAttention, "polkit asks", "Ask for a rule."};
    mounting.version = "2.9.4";
    mounting.details = "polkit action: x\nAnswer: challenge";
    DiagnosticsViewModel model({std::make_shared<Fixed>(mounting),
                                std::make_shared<Fixed>(HealthCheck{"Tray", HealthState::Fine, "A host."})},
                               {}, std::make_shared<LogService>());
    model.runChecks();
    ASSERT_TRUE(runUntil([&] { return !model.isRunning(); }));
    const QString report = model.report();
    for (const QString& part :
         {QString("Tarnwell 1.0.0, Qt " + QString::fromLatin1(qVersion())), QString("UDisks2: 2.9.4"),
          QString("Mounting: needs attention\n  polkit asks\n  Ask for a rule.\n    polkit action: x\n    "
                  "Answer: "
                  "challenge"),
          QString("Tray: fine\n  A host.")}) {
        EXPECT_TRUE(report.contains(part)) << part.toStdString() << "\n---\n" << report.toStdString();
    }
}

TEST(DiagnosticsViewModelTest, ConfigurationAndEditorsTellWhatTheyFind) {
    QTemporaryDir folder;
    const QString file = folder.filePath("Tarnwell/Tarnwell.conf");
    ConfigurationProbe configuration(file);
    HealthInputs inputs;
    EXPECT_EQ(runTask(configuration.check(inputs)).finding,
              file + " does not exist yet; the first save creates it.");
    QDir(folder.path()).mkpath("Tarnwell");
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::WriteOnly));
    written.close();
    inputs.lastSave = SaveOutcome{QDateTime::currentDateTimeUtc(), QString("disk full")};
    const HealthCheck failedSave = runTask(configuration.check(inputs));
    EXPECT_EQ(failedSave.finding, file + " can be read and written.");
    EXPECT_EQ(failedSave.state, HealthState::NeedsAttention);
    EXPECT_TRUE(failedSave.details.endsWith("failed: disk full"));

    // Two bound editors, one whose program exists and is watched, one missing and polled, and one
    // editor bound to nothing, which is left out.
    const QString program = folder.filePath("resolve");
    QFile(program).open(QIODevice::WriteOnly);
    AppTrigger resolve{QUuid::createUuid(), "Resolve", {"com.example.resolve"}, true, false, program};
    AppTrigger cut{QUuid::createUuid(), "Cut", {"com.example.cut"}, true, false, {}};
    AppTrigger idle{QUuid::createUuid(), "Idle", {"com.example.idle"}, true, false, {}};
    StorageTargetRule rule;
    rule.appTriggerIDs = {resolve.id, cut.id};
    inputs.configuration.appTriggers = {resolve, cut, idle};
    inputs.configuration.storageRules = {rule};
    inputs.applicationWatches = {{"com.example.resolve", true, "its programs are watched"},
                                 {"com.example.cut", false, "no desktop entry is installed for it"}};
    EditorsProbe editors(nullptr);
    const HealthCheck check = runTask(editors.check(inputs));
    EXPECT_EQ(check.state, HealthState::NeedsAttention);
    EXPECT_EQ(check.finding, "Followed by events: 1 of 2 bound editors.");
    const QStringList lines = check.details.split('\n');
    ASSERT_EQ(lines.size(), 3) << check.details.toStdString();
    EXPECT_EQ(lines.at(0), "Resolve: desktop entry installed; com.example.resolve: followed by events, its "
                           "programs are watched");
    EXPECT_EQ(lines.at(1), "Cut: no desktop entry installed; com.example.cut: found by polling, because no "
                           "desktop entry is installed for it");
    EXPECT_TRUE(lines.at(2).startsWith("File watches: Tarnwell holds ")) << lines.at(2).toStdString();
}

} // namespace
} // namespace tarnwell
