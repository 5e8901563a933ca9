#pragma once

#include <QList>
#include <QObject>
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

Q_SIGNALS:
    void applicationLaunched(const tarnwell::RunningApplication& application);
    void applicationTerminated(const tarnwell::RunningApplication& application);
};

} // namespace tarnwell
