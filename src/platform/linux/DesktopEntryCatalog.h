#pragma once

#include "platform/linux/ApplicationPrograms.h"
#include "platform/linux/DesktopEntryIndex.h"

#include <QFileSystemWatcher>
#include <QList>
#include <QObject>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace tarnwell {

// The installed applications' desktop entries, shared by everything that needs them: the
// application monitor, preset discovery and the Apps page. Reading thousands of entries takes far
// longer than the event loop may be held, so every reading runs on a worker thread; the catalog
// starts one when it is made and another whenever an application folder changes.
class DesktopEntryCatalog : public QObject {
    Q_OBJECT

public:
    // One complete reading.
    struct Reading {
        DesktopEntryIndex index;
        ApplicationPrograms programs;
        // Grows with every reading.
        quint64 revision = 0;
    };

    explicit DesktopEntryCatalog(
        QList<QString> applicationDirectories = DesktopEntryIndex::defaultApplicationDirectories(),
        QString searchPath = qEnvironmentVariable("PATH"), QObject* parent = nullptr);
    ~DesktopEntryCatalog() override;

    // The latest complete reading; null until the first one has finished.
    std::shared_ptr<const Reading> current() const { return m_current; }
    // The latest reading, waiting for the first one to finish if it has not yet: for the one
    // answer at start-up that cannot do without the entries. Null when that reading failed.
    std::shared_ptr<const Reading> awaitCurrent() const;

    // Starts a fresh reading when a folder of the latest one has changed since; a few stat calls.
    // Folders that do not exist yet cannot be watched, so their coming is found this way.
    void refreshIfChanged();

Q_SIGNALS:
    // A new reading is current.
    void changed();

private:
    // How long after a change a folder is taken to be written completely.
    static constexpr std::chrono::milliseconds settlingTime{50};

    // What a reading on a worker thread hands back to the catalog, which may be gone by then.
    struct Handover {
        std::mutex mutex;
        std::condition_variable finished;
        DesktopEntryCatalog* catalog = nullptr;
        bool firstFinished = false;
        std::shared_ptr<const Reading> first;
    };

    void read();
    void install(std::shared_ptr<Reading> reading);

    QList<QString> m_applicationDirectories;
    QString m_searchPath;
    std::shared_ptr<const Reading> m_current;
    quint64 m_revision = 0;
    bool m_reading = false;
    // A change seen while a reading ran: that reading may have missed it.
    bool m_readAgain = false;
    QFileSystemWatcher m_folders;
    std::shared_ptr<Handover> m_handover = std::make_shared<Handover>();
};

} // namespace tarnwell
