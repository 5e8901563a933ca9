#include "platform/linux/DesktopEntryCatalog.h"

#include <QThreadPool>
#include <QTimer>
#include <QtDebug>
#include <exception>

namespace tarnwell {

DesktopEntryCatalog::DesktopEntryCatalog(QList<QString> applicationDirectories, QString searchPath,
                                         QObject* parent)
    : QObject(parent)
    , m_applicationDirectories(std::move(applicationDirectories))
    , m_searchPath(std::move(searchPath)) {
    m_handover->catalog = this;
    connect(&m_folders, &QFileSystemWatcher::directoryChanged, this, &DesktopEntryCatalog::read);
    read();
}

DesktopEntryCatalog::~DesktopEntryCatalog() {
    // A reading that finishes from now on has nobody to hand over to.
    const std::lock_guard guard(m_handover->mutex);
    m_handover->catalog = nullptr;
}

std::shared_ptr<const DesktopEntryCatalog::Reading> DesktopEntryCatalog::awaitCurrent() const {
    if (m_current) {
        return m_current;
    }
    std::unique_lock lock(m_handover->mutex);
    m_handover->finished.wait(lock, [this] { return m_handover->firstFinished; });
    return m_handover->first;
}

void DesktopEntryCatalog::refreshIfChanged() {
    if (!m_reading && (!m_current || !m_current->index.isCurrent())) {
        read();
    }
}

void DesktopEntryCatalog::read() {
    if (m_reading) {
        m_readAgain = true;
        return;
    }
    m_reading = true;
    m_readAgain = false;
    // The worker gets copies and the handover only, never the catalog itself.
    QThreadPool::globalInstance()->start(
        [handover = m_handover, directories = m_applicationDirectories, searchPath = m_searchPath] {
            std::shared_ptr<Reading> reading;
            try {
                reading = std::make_shared<Reading>();
                reading->index = DesktopEntryIndex::load(directories, searchPath);
                reading->programs = ApplicationPrograms(reading->index, searchPath);
            } catch (const std::exception& error) {
                qWarning() << "Reading the installed applications failed:" << error.what();
                reading.reset();
            }
            const std::lock_guard guard(handover->mutex);
            if (!handover->firstFinished) {
                handover->firstFinished = true;
                handover->first = reading;
                handover->finished.notify_all();
            }
            if (handover->catalog) {
                // Posted events die with their receiver, so the catalog may go before this arrives.
                QMetaObject::invokeMethod(
                    handover->catalog, [catalog = handover->catalog, reading] { catalog->install(reading); },
                    Qt::QueuedConnection);
            }
        });
}

void DesktopEntryCatalog::install(std::shared_ptr<Reading> reading) {
    m_reading = false;
    const bool installed = reading != nullptr;
    if (installed) {
        reading->revision = ++m_revision;
        m_current = std::move(reading);
        const QList<QString> watched = m_folders.directories();
        if (!watched.isEmpty()) {
            m_folders.removePaths(watched);
        }
        QList<QString> folders;
        for (const DesktopEntryIndex::FolderStamp& folder : m_current->index.folders()) {
            if (folder.exists) {
                folders.append(folder.path);
            }
        }
        if (!folders.isEmpty()) {
            m_folders.addPaths(folders);
        }
    }
    if (m_readAgain) {
        read();
    } else if (installed && !m_current->index.isCurrent()) {
        // A folder changed while it was read, or just before, when a file may still be half
        // written; the folder will not report the rest of the writing.
        QTimer::singleShot(settlingTime, this, &DesktopEntryCatalog::refreshIfChanged);
    }
    if (installed) {
        Q_EMIT changed();
    }
}

} // namespace tarnwell
