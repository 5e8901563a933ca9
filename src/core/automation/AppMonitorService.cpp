#include "core/automation/AppMonitorService.h"

#include <QCoreApplication>
#include <QThread>

namespace tarnwell {

AppMonitorService::AppMonitorService(std::shared_ptr<ApplicationEventSource> source, QObject* parent)
    : QObject(parent)
    , m_source(std::move(source)) {
}

void AppMonitorService::start() {
    if (m_isStarted) {
        return;
    }
    // The connections end with this object, so a late event reaches nobody.
    connect(m_source.get(), &ApplicationEventSource::applicationLaunched, this,
            [this](const RunningApplication& application) { deliver(application, onLaunch); });
    connect(m_source.get(), &ApplicationEventSource::applicationTerminated, this,
            [this](const RunningApplication& application) { deliver(application, onTerminate); });
    connect(m_source.get(), &ApplicationEventSource::noticed, this, [this](const QString& message) {
        if (onNotice) {
            onNotice(message);
        }
    });
    m_source->startObserving();
    m_isStarted = true;
}

QSet<QString> AppMonitorService::runningBundleIdentifiers() const {
    QSet<QString> identifiers;
    for (const auto& application : m_source->runningApplications()) {
        if (application.bundleIdentifier) {
            identifiers.insert(*application.bundleIdentifier);
        }
    }
    return identifiers;
}

void AppMonitorService::watchApplications(const QSet<QString>& bundleIdentifiers) {
    m_source->watchApplications(bundleIdentifiers);
}

void AppMonitorService::deliver(const RunningApplication& application, const Callback& callback) const {
    if (const auto* app = QCoreApplication::instance(); app && QThread::currentThread() != app->thread()) {
        qWarning("AppMonitorService: an application event arrived off the GUI thread.");
    }
    if (!application.bundleIdentifier || !callback) {
        return;
    }
    callback(*application.bundleIdentifier);
}

} // namespace tarnwell
