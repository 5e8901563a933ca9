#pragma once

#include "platform/linux/KernelWatching.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QSocketNotifier>
#include <QString>
#include <memory>

namespace tarnwell {

// File watches on the programs that start the watched applications, and on the folders where new
// sandboxed instances announce themselves. Running a program opens it, so an open says that one of
// them may have started; reading it opens it too, but closes it again at once.
//
// A program that cannot be watched (the limit of watches, no permission, not installed) is left to
// the caller's polling and tried again on retry(); the others stay watched. A replaced or
// reinstalled program is watched again when its folder reports the new file.
class ProgramWatches : public QObject {
    Q_OBJECT

public:
    explicit ProgramWatches(std::shared_ptr<KernelWatching> kernel, QObject* parent = nullptr);
    ~ProgramWatches() override;

    // Opens the watch instance; false, with errno set, when the system has none to give.
    bool open();

    // Watches exactly these programs and instance folders from now on.
    void watch(const QSet<QByteArray>& programs, const QSet<QByteArray>& instanceFolders);
    // Tries again the programs that could not be watched.
    void retry();
    // The programs that could not be watched, with why.
    const QHash<QByteArray, QString>& failures() const { return m_failures; }

Q_SIGNALS:
    // Watched programs were opened and closed, or (as an open) a sandboxed instance started or
    // events were lost.
    void activity(int opens, int closes);
    // A program could not be watched, said once until it is watched again.
    void failed(const QByteArray& program, const QString& reason);

private:
    void addProgramWatch(const QByteArray& program);
    void addInstanceFolderWatch(const QByteArray& folder);
    // Adds one watch, or records and reports why it cannot be had.
    void addWatch(QHash<int, QByteArray>& watches, const QByteArray& path, std::uint32_t events);
    void read();

    std::shared_ptr<KernelWatching> m_kernel;
    int m_instance = -1;
    QSocketNotifier* m_notifier = nullptr;
    QSet<QByteArray> m_programs;
    QSet<QByteArray> m_instanceFolders;
    // Watch descriptor -> the watched program, the folder watched for it to come back, the
    // folder of sandboxed instances, and an instance's own folder.
    QHash<int, QByteArray> m_programWatches;
    QHash<int, QByteArray> m_folderWatches;
    QHash<int, QByteArray> m_instanceFolderWatches;
    QHash<int, QByteArray> m_instanceWatches;
    QHash<QByteArray, QString> m_failures;
};

} // namespace tarnwell
