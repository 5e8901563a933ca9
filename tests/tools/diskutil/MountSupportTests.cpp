#include "DiskutilTestSupport.h"
#include "core/support/PlatformError.h"
#include "diskutil/MountHolders.h"
#include "diskutil/MountPointNaming.h"
#include "diskutil/MountRegistry.h"
#include "diskutil/UDisksService.h"

#include <QDir>
#include <QFile>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarnwell {
namespace {

TEST(MountPointNamingTests, LabelsBecomeOneFolderOfTheirOwnBelowTheRoot) {
    for (const auto& [label, name] :
         {std::pair{"Footage 2024", "Footage 2024"},
          std::pair{"a/b\"c'd\\e $(x) `y` &<>", "a_b\"c'd\\e $(x) `y` &<>"},
          std::pair{"tab\there\nnew\x7f", "tab_here_new_"}, std::pair{"..", "__"}, std::pair{".", "_"},
          std::pair{"", "Untitled"}, std::pair{"../etc", ".._etc"}}) {
        EXPECT_EQ(MountPointNaming::directoryName(QString::fromUtf8(label)), QString::fromUtf8(name))
            << label;
    }
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString media = root.filePath("media");
    EXPECT_EQ(MountPointNaming::createDirectory(media, "Card"), media + "/Card");
    EXPECT_EQ(MountPointNaming::createDirectory(media, "Card"), media + "/Card1");
    QFile plainFile(media + "/Card2");
    ASSERT_TRUE(plainFile.open(QIODevice::WriteOnly));
    plainFile.close();
    EXPECT_EQ(MountPointNaming::createDirectory(media, "Card"), media + "/Card3");
    EXPECT_TRUE(QFileInfo(media + "/Card3").isDir());
    EXPECT_THROW(MountPointNaming::createDirectory(media + "/Card2", "Card"), PlatformError);
}

// Tool runs in parallel processes must not lose each other's entries.
TEST(MountRegistryTests, ParallelRunsKeepEveryEntryUntilItIsTaken) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString path = root.filePath("state/created");
    constexpr int writers = 6;
    constexpr int entriesEach = 15;
    QList<pid_t> children;
    for (int writer = 0; writer < writers; ++writer) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            MountRegistry own(path);
            for (int entry = 0; entry < entriesEach; ++entry) {
                own.add(QStringLiteral("/media/W%1-%2").arg(writer).arg(entry));
                own.add(QString::fromUtf8("/media/Gone \xC3\xA9 %1-%2").arg(writer).arg(entry));
                own.take(QString::fromUtf8("/media/Gone \xC3\xA9 %1-%2").arg(writer).arg(entry));
            }
            ::_exit(0);
        }
        children.append(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    MountRegistry later(path);
    for (int writer = 0; writer < writers; ++writer) {
        for (int entry = 0; entry < entriesEach; ++entry) {
            EXPECT_TRUE(later.take(QStringLiteral("/media/W%1-%2").arg(writer).arg(entry)))
                << writer << " " << entry;
            EXPECT_FALSE(later.take(QStringLiteral("/media/W%1-%2").arg(writer).arg(entry)));
            EXPECT_FALSE(later.take(QString::fromUtf8("/media/Gone \xC3\xA9 %1-%2").arg(writer).arg(entry)));
        }
    }
}

// The folder sits on a file system of its own: programs and working directories on the root file
// system would otherwise count as holders for every process.
TEST(MountHoldersTests, FindsProcessesWorkingOrHoldingAFileInsideTheFileSystemOnly) {
    QTemporaryDir root(QStringLiteral("/dev/shm/tarnwell-holders-XXXXXX"));
    if (!root.isValid()) {
        GTEST_SKIP() << "/dev/shm is not available for a separate file system";
    }
    const auto deviceOf = [](const QString& path) {
        struct stat status {};
        EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0);
        return status.st_dev;
    };
    ASSERT_NE(deviceOf(root.path()), deviceOf("/"));
    ASSERT_TRUE(QDir(root.path()).mkpath("inside"));
    QFile held(root.filePath("inside/held"));
    ASSERT_TRUE(held.open(QIODevice::WriteOnly));
    held.close();
    struct Row {
        QString directory;
        QStringList arguments;
        bool holds;
    };
    for (const Row& row : {Row{root.filePath("inside"), {"-c", "exec sleep 30"}, true},
                           Row{"/proc", {"-c", "exec 3<\"$0\"; exec sleep 30", held.fileName()}, true},
                           Row{"/proc", {"-c", "exec sleep 30"}, false}}) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        QProcess child;
        child.setWorkingDirectory(row.directory);
        child.start("sh", row.arguments);
        ASSERT_TRUE(child.waitForStarted());
        // The shell opens the file just after it starts; give it a moment.
        bool found = false;
        for (int attempt = 0; attempt < 50; ++attempt) {
            QThread::msleep(20);
            found =
                MountHolders::find(deviceOf(root.path())).contains(MountHolder{child.processId(), "sleep"});
            if (found || (!row.holds && attempt >= 4)) {
                break;
            }
        }
        EXPECT_EQ(found, row.holds);
        child.kill();
        child.waitForFinished();
    }
}

// Stand-ins for udisksctl and dbus-send on PATH; the ping itself goes through the scripted runner,
// which decides whether the service answers.
TEST(UDisksServiceTests, TheServiceIsUsedOnlyWhenItsClientsExistAndItAnswersThePing) {
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    for (const char* name : {"udisksctl", "dbus-send"}) {
        QFile program(bin.filePath(name));
        ASSERT_TRUE(program.open(QIODevice::WriteOnly));
        program.write("#!/bin/sh\nexit 0\n");
        program.close();
        program.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    const QByteArray path = qgetenv("PATH");
    struct Row {
        QString path;
        QList<CommandResult> results;
        bool answers;
        qsizetype calls;
    };
    for (const Row& row :
         {Row{bin.path(), {{0, "method return\n", {}}}, true, 1},
          Row{bin.path(), {{1, {}, "Error org.freedesktop.DBus.Error.ServiceUnknown\n"}}, false, 1},
          Row{bin.filePath("missing"), {{0, {}, {}}}, false, 0}}) {
        qputenv("PATH", QFile::encodeName(row.path));
        testing::ScriptedCommands commands;
        commands.results = row.results;
        EXPECT_EQ(UDisksService::answers(commands, 2000), row.answers);
        ASSERT_EQ(commands.calls.size(), row.calls);
        if (row.calls > 0) {
            EXPECT_EQ(commands.calls.first(),
                      (QStringList{"dbus-send", "--system", "--print-reply", "--reply-timeout=2000",
                                   "--dest=org.freedesktop.UDisks2", "/org/freedesktop/UDisks2",
                                   "org.freedesktop.DBus.Peer.Ping"}));
        }
    }
    qputenv("PATH", path);
}

} // namespace
} // namespace tarnwell
