#pragma once

#include "app/MenuBarViewModel.h"
#include "core/model/StorageTargetState.h"
#include "core/model/TarnwellConfiguration.h"

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <optional>

namespace tarnwell {

// What the dashboard shows: summary cards, one row per rule, the latest event and error, and the
// first steps while nothing is configured. Every text is computed when read.
class DashboardViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(tarnwell::TarnwellConfiguration configuration READ configuration NOTIFY configurationChanged)
    Q_PROPERTY(QList<tarnwell::StorageTargetState> targetStates READ targetStates NOTIFY targetStatesChanged)
    Q_PROPERTY(QSet<QString> runningBundleIdentifiers READ runningBundleIdentifiers NOTIFY
                   runningBundleIdentifiersChanged)
    Q_PROPERTY(QStringList logEntries READ logEntries NOTIFY logEntriesChanged)
    Q_PROPERTY(QString targetSummary READ targetSummary NOTIFY presentationChanged)
    Q_PROPERTY(QString runningAppsSummary READ runningAppsSummary NOTIFY presentationChanged)
    Q_PROPERTY(QString safetySummary READ safetySummary NOTIFY presentationChanged)
    Q_PROPERTY(bool isAllSafe READ isAllSafe NOTIFY presentationChanged)
    Q_PROPERTY(QString safetyCaption READ safetyCaption NOTIFY presentationChanged)
    Q_PROPERTY(QString safetyIcon READ safetyIcon NOTIFY presentationChanged)
    Q_PROPERTY(tarnwell::MenuBarViewModel::StatusColorKind safetyColorKind READ safetyColorKind NOTIFY
                   presentationChanged)
    Q_PROPERTY(QString recentEventText READ recentEventText NOTIFY presentationChanged)
    Q_PROPERTY(QString recentEventMessage READ recentEventMessage NOTIFY presentationChanged)
    Q_PROPERTY(std::optional<QDateTime> recentEventTime READ recentEventTime NOTIFY presentationChanged)
    Q_PROPERTY(QString recentErrorText READ recentErrorText NOTIFY presentationChanged)
    Q_PROPERTY(QStringList emptyStateSteps READ emptyStateSteps NOTIFY presentationChanged)
    Q_PROPERTY(QDateTime statusCheckedAt READ statusCheckedAt NOTIFY statusCheckedAtChanged)

public:
    struct StorageRow {
        QUuid id;
        QString title;
        QString statusTitle;
        QString detail;
        QString appSummary;
        QString policySummary;
        bool isEnabled = true;
        bool canMount = false;
        bool canUnmount = false;

        bool operator==(const StorageRow&) const = default;
    };

    struct OnboardingStep {
        int id = 0;
        QString title;
        QString systemImage;

        bool operator==(const OnboardingStep&) const = default;
    };

    DashboardViewModel(TarnwellConfiguration configuration, QList<StorageTargetState> targetStates,
                       QSet<QString> runningBundleIdentifiers, QStringList logEntries,
                       QObject* parent = nullptr);

    // Each given value replaces the stored one; absent ones are left alone.
    void update(std::optional<TarnwellConfiguration> configuration = std::nullopt,
                std::optional<QList<StorageTargetState>> targetStates = std::nullopt,
                std::optional<QSet<QString>> runningBundleIdentifiers = std::nullopt,
                std::optional<QStringList> logEntries = std::nullopt);

    const TarnwellConfiguration& configuration() const { return m_configuration; }
    const QList<StorageTargetState>& targetStates() const { return m_targetStates; }
    const QSet<QString>& runningBundleIdentifiers() const { return m_runningBundleIdentifiers; }
    const QStringList& logEntries() const { return m_logEntries; }
    // When the drives were last read; the dashboard says how long ago.
    const QDateTime& statusCheckedAt() const { return m_statusCheckedAt; }
    void setStatusCheckedAt(const QDateTime& checkedAt);
    // "Updated just now", "Updated 5 min ago", or the time of day once it is an hour or more.
    QString statusCheckedText(const QDateTime& now) const;

    QString targetSummary() const;
    QString runningAppsSummary() const;
    QList<StorageRow> storageRows() const;
    QString safetySummary() const;
    // Whether the safety summary is "All safe"; anything else is shown as a warning.
    bool isAllSafe() const;
    QString safetyCaption() const;
    QString safetyIcon() const;
    MenuBarViewModel::StatusColorKind safetyColorKind() const;
    // The latest log line whole, what it says without its time stamp, and when it was written.
    QString recentEventText() const;
    QString recentEventMessage() const;
    std::optional<QDateTime> recentEventTime() const;
    // When, in a few characters: "Just now", "12 min ago", the time of day, or the date and time.
    static QString relativeTime(const QDateTime& moment, const QDateTime& now);
    QString recentErrorText() const;
    QList<OnboardingStep> onboardingSteps() const;
    QStringList emptyStateSteps() const;

Q_SIGNALS:
    void configurationChanged();
    void targetStatesChanged();
    void runningBundleIdentifiersChanged();
    void logEntriesChanged();
    void presentationChanged();
    void statusCheckedAtChanged();

private:
    QString appSummary(const StorageTargetRule& rule) const;
    qint64 errorCount() const;
    qint64 readyCount() const;
    static QString policySummary(const StorageTargetRule& rule);

    TarnwellConfiguration m_configuration;
    QList<StorageTargetState> m_targetStates;
    QSet<QString> m_runningBundleIdentifiers;
    QStringList m_logEntries;
    QDateTime m_statusCheckedAt;
};

} // namespace tarnwell
