#pragma once

#include "core/automation/TarnwellLogging.h"

#include <QDateTime>
#include <QList>
#include <QLoggingCategory>
#include <QObject>
#include <QString>
#include <functional>

namespace tarnwell {

Q_DECLARE_LOGGING_CATEGORY(activityLog)

// The recent activity as time-stamped lines, kept in memory only and published for the interface.
// Every line also goes to the "tarnwell.activity" logging category, so a run without a window shows
// its activity on standard error.
class LogService : public QObject, public TarnwellLogging {
    Q_OBJECT
    Q_PROPERTY(QList<QString> entries READ entries NOTIFY entriesChanged)

public:
    using Clock = std::function<QDateTime()>;

    static constexpr qsizetype defaultLimit = 300;

    explicit LogService(qsizetype limit = defaultLimit, Clock clock = &QDateTime::currentDateTimeUtc,
                        QObject* parent = nullptr);

    void record(const QString& message) override;

    const QList<QString>& entries() const { return m_entries; }
    qsizetype limit() const { return m_limit; }

    // All entries joined by line feeds, without a trailing one.
    QString copyableText() const;

    // "[2026-12-06 19:40:06 +0000] message", always in UTC.
    static QString entry(const QDateTime& moment, const QString& message);

Q_SIGNALS:
    void entriesChanged();

private:
    QList<QString> m_entries;
    qsizetype m_limit;
    Clock m_clock;
};

} // namespace tarnwell
