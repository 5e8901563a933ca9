#pragma once

#include "core/diagnostics/HealthProbing.h"
#include "platform/LogService.h"

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

namespace tarnwell {

// The Diagnostics page's state: one row per health check, run off the interface thread on
// demand, each with a time limit, and the activity log for saving and for a bug report.
class DiagnosticsViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)

public:
    struct Row {
        HealthCheck check;
        // The check runs now; `check` holds its previous answer, or only its title.
        bool isChecking = false;
        // Whether the check has answered at least once.
        bool hasAnswered = false;
    };
    using Probes = QList<std::shared_ptr<HealthProbing>>;
    // What the application knows of itself at the moment checks start.
    using InputsProvider = std::function<HealthInputs()>;

    static constexpr std::chrono::milliseconds defaultTimeLimit{3000};

    DiagnosticsViewModel(Probes probes, InputsProvider inputs, std::shared_ptr<LogService> log,
                         std::chrono::milliseconds timeLimit = defaultTimeLimit, QObject* parent = nullptr);

    const QList<Row>& rows() const { return m_rows; }
    bool isRunning() const { return m_running > 0; }
    const std::shared_ptr<LogService>& log() const { return m_log; }

    // Starts every check again; answers of a run still in flight are dropped.
    void runChecks();

    // Whether a log line tells of a failure; the log has no levels, so its wording decides.
    static bool isFailureLine(const QString& line);
    QList<QString> logLines(bool failuresOnly) const;
    // Writes the lines to the file, replacing it whole; the failure's text, or nothing.
    std::optional<QString> saveLog(const QString& filePath, bool failuresOnly) const;
    // The checks and the versions of Tarnwell, Qt, the desktop and UDisks2, as plain text.
    QString report() const;

Q_SIGNALS:
    void rowsChanged();
    void isRunningChanged();

private:
    static QCoro::Task<> runProbe(QPointer<DiagnosticsViewModel> self, std::shared_ptr<HealthProbing> probe,
                                  HealthInputs inputs, qsizetype index, quint64 generation);
    void answer(qsizetype index, quint64 generation, HealthCheck check);
    void timeOut(quint64 generation);

    Probes m_probes;
    InputsProvider m_inputs;
    std::shared_ptr<LogService> m_log;
    std::chrono::milliseconds m_timeLimit;
    QList<Row> m_rows;
    QTimer m_deadline;
    quint64 m_generation = 0;
    qsizetype m_running = 0;
};

} // namespace tarnwell
