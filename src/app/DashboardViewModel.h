#pragma once

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
    Q_PROPERTY(QString recentEventText READ recentEventText NOTIFY presentationChanged)
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
    QString recentEventText() const;
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
    static QString policySummary(const StorageTargetRule& rule);

    TarnwellConfiguration m_configuration;
    QList<StorageTargetState> m_targetStates;
    QSet<QString> m_runningBundleIdentifiers;
    QStringList m_logEntries;
    QDateTime m_statusCheckedAt;
};

} // namespace tarnwell
