#pragma once

#include "core/automation/ApplicationEventSource.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>

namespace tarnwell {

// Reports application launches and terminations by bundle identifier and answers which
// applications are running now. It knows nothing about rules; its owner installs the callbacks.
class AppMonitorService : public QObject {
    Q_OBJECT

public:
    using Callback = std::function<void(const QString& bundleIdentifier)>;

    explicit AppMonitorService(std::shared_ptr<ApplicationEventSource> source, QObject* parent = nullptr);

    // Starts observing the source; later calls do nothing.
    void start();
    bool isStarted() const { return m_isStarted; }

    // Identifiers of the running applications, each once; applications without one are skipped.
    QSet<QString> runningBundleIdentifiers() const;
    // The identifiers bound to rules, which the source may watch closely.
    void watchApplications(const QSet<QString>& bundleIdentifiers);
    // How the source follows each watched application, as far as it can tell.
    QList<ApplicationWatch> applicationWatches() const { return m_source->applicationWatches(); }

    // Called for every launch or termination that carries a bundle identifier.
    Callback onLaunch;
    Callback onTerminate;
    // Called with the source's lines for the activity log.
    Callback onNotice;

private:
    void deliver(const RunningApplication& application, const Callback& callback) const;

    const std::shared_ptr<ApplicationEventSource> m_source;
    bool m_isStarted = false;
};

} // namespace tarnwell
