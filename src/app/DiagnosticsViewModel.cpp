#include "app/DiagnosticsViewModel.h"

#include "core/support/Localization.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSaveFile>
#include <QSysInfo>

namespace tarnwell {

DiagnosticsViewModel::DiagnosticsViewModel(Probes probes, InputsProvider inputs,
                                           std::shared_ptr<LogService> log,
                                           std::chrono::milliseconds timeLimit, QObject* parent)
    : QObject(parent)
    , m_probes(std::move(probes))
    , m_inputs(std::move(inputs))
    , m_log(std::move(log))
    , m_timeLimit(timeLimit) {
    for (const auto& probe : std::as_const(m_probes)) {
        m_rows.append(
            Row{HealthCheck{probe->title(), HealthState::NeedsAttention, localized("Not checked yet.")}});
    }
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { timeOut(m_generation); });
}

void DiagnosticsViewModel::runChecks() {
    const quint64 generation = ++m_generation;
    const bool wasRunning = isRunning();
    m_running = m_probes.size();
    for (Row& row : m_rows) {
        row.isChecking = true;
    }
    Q_EMIT rowsChanged();
    if (wasRunning != isRunning()) {
        Q_EMIT isRunningChanged();
    }
    m_deadline.start(m_timeLimit);
    const HealthInputs inputs = m_inputs ? m_inputs() : HealthInputs{};
    for (qsizetype index = 0; index < m_probes.size(); ++index) {
        runProbe(this, m_probes.at(index), inputs, index, generation);
    }
}

QCoro::Task<> DiagnosticsViewModel::runProbe(QPointer<DiagnosticsViewModel> self,
                                             std::shared_ptr<HealthProbing> probe, HealthInputs inputs,
                                             qsizetype index, quint64 generation) {
    HealthCheck check;
    try {
        check = co_await probe->check(std::move(inputs));
    } catch (const std::exception& error) {
        check = HealthCheck{probe->title(), HealthState::NotWorking,
                            localizedFormat("The check failed: %@", {QString::fromUtf8(error.what())})};
    } catch (...) {
        check = HealthCheck{probe->title(), HealthState::NotWorking, localized("The check failed.")};
    }
    if (self) {
        self->answer(index, generation, std::move(check));
    }
}

void DiagnosticsViewModel::answer(qsizetype index, quint64 generation, HealthCheck check) {
    if (generation != m_generation) {
        return;
    }
    Row& row = m_rows[index];
    // An answer after the time limit still replaces the row: it is the truer one.
    const bool wasChecking = row.isChecking;
    row = Row{std::move(check), false, true};
    if (wasChecking && --m_running == 0) {
        m_deadline.stop();
        Q_EMIT rowsChanged();
        Q_EMIT isRunningChanged();
        return;
    }
    Q_EMIT rowsChanged();
}

void DiagnosticsViewModel::timeOut(quint64 generation) {
    if (generation != m_generation || !isRunning()) {
        return;
    }
    const qint64 seconds = std::chrono::duration_cast<std::chrono::seconds>(m_timeLimit).count();
    for (Row& row : m_rows) {
        if (!row.isChecking) {
            continue;
        }
        row = Row{
            HealthCheck{row.check.title, HealthState::NotWorking,
                        localizedCount("No answer within %lld seconds.", std::max<qint64>(seconds, 1)),
                        localized("Something it asks does not answer; run the checks again in a moment.")},
            false, true};
    }
    m_running = 0;
    Q_EMIT rowsChanged();
    Q_EMIT isRunningChanged();
}

bool DiagnosticsViewModel::isFailureLine(const QString& line) {
    static const QStringList markers = {QStringLiteral("fail"),      QStringLiteral("error"),
                                        QStringLiteral("could not"), QStringLiteral("cannot"),
                                        QStringLiteral("not found"), QStringLiteral("refus"),
                                        QStringLiteral("unable"),    QStringLiteral("busy")};
    // The time stamp is no part of the message.
    const QString message = line.section(QStringLiteral("] "), 1);
    return std::any_of(markers.cbegin(), markers.cend(),
                       [&](const QString& marker) { return message.contains(marker, Qt::CaseInsensitive); });
}

QList<QString> DiagnosticsViewModel::logLines(bool failuresOnly) const {
    QList<QString> lines = m_log ? m_log->entries() : QList<QString>{};
    if (failuresOnly) {
        lines.removeIf([](const QString& line) { return !isFailureLine(line); });
    }
    return lines;
}

std::optional<QString> DiagnosticsViewModel::saveLog(const QString& filePath, bool failuresOnly) const {
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        return localizedFormat("Could not save the log to %@: %@", {filePath, file.errorString()});
    }
    QString text = logLines(failuresOnly).join(u'\n');
    if (!text.isEmpty()) {
        text.append(u'\n');
    }
    file.write(text.toUtf8());
    if (!file.commit()) {
        return localizedFormat("Could not save the log to %@: %@", {filePath, file.errorString()});
    }
    return std::nullopt;
}

QString DiagnosticsViewModel::report() const {
    QString udisks = localized("not answering");
    for (const Row& row : m_rows) {
        if (row.check.title == localized("Mounting") && !row.check.version.isEmpty()) {
            udisks = row.check.version;
        }
    }
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP", localized("unknown"));
    const QString session = qEnvironmentVariable("XDG_SESSION_TYPE", localized("unknown"));
    QStringList lines{
        localizedFormat("Tarnwell diagnostics, %@", {QDateTime::currentDateTimeUtc().toString(
                                                        QStringLiteral("yyyy-MM-dd HH:mm:ss +0000"))}),
        localizedFormat("Tarnwell %@, Qt %@ (built with %@)",
                        {QStringLiteral(TARNWELL_VERSION), QString::fromLatin1(qVersion()),
                         QStringLiteral(QT_VERSION_STR)}),
        localizedFormat("Desktop: %@ (%@), %@, kernel %@",
                        {desktop, session, QSysInfo::prettyProductName(), QSysInfo::kernelVersion()}),
        localizedFormat("UDisks2: %@", {udisks}), QString()};
    for (const Row& row : m_rows) {
        lines.append(row.hasAnswered ? row.check.reportText()
                                     : row.check.title + QStringLiteral(": ") + localized("not checked yet"));
    }
    return lines.join(u'\n');
}

} // namespace tarnwell
