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

// The platform's application launches and terminations, and the applications running now.
// Signals are emitted on the GUI thread, and only after startObserving().
class ApplicationEventSource : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~ApplicationEventSource() override;

    virtual QList<RunningApplication> runningApplications() const = 0;
    // Begins delivering launch and termination signals.
    virtual void startObserving() = 0;
    // The applications whose launches and terminations matter most, so that a source able to
    // watch for them closely does; every other application is still reported. Nothing by default.
    virtual void watchApplications(const QSet<QString>& bundleIdentifiers);

Q_SIGNALS:
    void applicationLaunched(const tarnwell::RunningApplication& application);
    void applicationTerminated(const tarnwell::RunningApplication& application);
    // A line for the activity log about how the source observes, such as a fallback it had to take.
    void noticed(const QString& message);
};

} // namespace tarnwell
