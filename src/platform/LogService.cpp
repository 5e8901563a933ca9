#include "platform/LogService.h"

namespace tarnwell {

Q_LOGGING_CATEGORY(activityLog, "tarnwell.activity", QtInfoMsg)

LogService::LogService(qsizetype limit, Clock clock, QObject* parent)
    : QObject(parent)
    , m_limit(std::max<qsizetype>(limit, 0))
    , m_clock(std::move(clock)) {
}

QString LogService::entry(const QDateTime& moment, const QString& message) {
    return QLatin1Char('[') + moment.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
           QStringLiteral(" +0000] ") + message;
}

void LogService::record(const QString& message) {
    const QString line = entry(m_clock(), message);
    qCInfo(activityLog).noquote() << line;
    m_entries.append(line);
    Q_EMIT entriesChanged();
    if (m_entries.size() > m_limit) {
        m_entries.remove(0, m_entries.size() - m_limit);
        Q_EMIT entriesChanged();
    }
}

QString LogService::copyableText() const {
    return m_entries.join(QLatin1Char('\n'));
}

} // namespace tarnwell
