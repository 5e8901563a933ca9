#pragma once

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <optional>

namespace tarnwell {

// One running application as the platform reports it; the identifier may be unknown.
struct RunningApplication {
    std::optional<QString> bundleIdentifier;

    bool operator==(const RunningApplication&) const = default;
};

// How the launches and quits of one watched application are followed.
struct ApplicationWatch {
    QString bundleIdentifier;
    // Told by events as they happen, rather than found by looking now and then.
    bool followedByEvents = false;
    // Why, as a phrase for the user.
    QString reason;

    bool operator==(const ApplicationWatch&) const = default;
};

// The platform's application launches and terminations, and the applications running now.
// Signals are emitted on the GUI thread, and only after startObserving().
class ApplicationEventSource : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~ApplicationEventSource() override = default;

    virtual QList<RunningApplication> runningApplications() const = 0;
    // Begins delivering launch and termination signals.
    virtual void startObserving() = 0;
    // The applications whose launches and terminations matter most, so that a source able to
    // watch for them closely does; every other application is still reported. Nothing by default.
    virtual void watchApplications(const QSet<QString>& bundleIdentifiers) { Q_UNUSED(bundleIdentifiers); }
    // How each watched application is followed, for a source that can tell; nothing by default.
    virtual QList<ApplicationWatch> applicationWatches() const { return {}; }

Q_SIGNALS:
    void applicationLaunched(const tarnwell::RunningApplication& application);
    void applicationTerminated(const tarnwell::RunningApplication& application);
    // A line for the activity log about how the source observes, such as a fallback it had to take.
    void noticed(const QString& message);
    void applicationWatchesChanged();
};

} // namespace tarnwell
