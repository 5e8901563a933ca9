#include "DiskutilTestSupport.h"
#include "core/support/PlatformError.h"
#include "diskutil/MountHolders.h"
#include "diskutil/MountPointNaming.h"
#include "diskutil/MountRegistry.h"
#include "diskutil/UDisksService.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarnwell {
namespace {

dev_t deviceOf(const QString& path) {
    struct stat status {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0);
    return status.st_dev;
}

bool holds(const QList<MountHolder>& holders, qint64 pid) {
    return std::any_of(holders.begin(), holders.end(),
                       [pid](const MountHolder& holder) { return holder.pid == pid; });
}

TEST(MountPointNamingTests, LabelsBecomeOneSafePathComponent) {
    EXPECT_EQ(MountPointNaming::directoryName("Footage 2024"), "Footage 2024");
    EXPECT_EQ(MountPointNaming::directoryName("a/b\"c'd\\e"), "a_b_c_d_e");
    EXPECT_EQ(MountPointNaming::directoryName(QString::fromUtf8("tab\there\nnew\x7f")), "tab_here_new_");
    EXPECT_EQ(MountPointNaming::directoryName(QString::fromUtf8("Caf\xC3\xA9 &<>")),
              QString::fromUtf8("Caf\xC3\xA9 &<>"));
    // Names that already mean a directory must not climb out of the media folder.
    EXPECT_EQ(MountPointNaming::directoryName(".."), "__");
    EXPECT_EQ(MountPointNaming::directoryName("."), "_");
    EXPECT_EQ(MountPointNaming::directoryName(""), "Untitled");
    EXPECT_EQ(MountPointNaming::directoryName("../etc"), ".._etc");
}

TEST(MountPointNamingTests, ExistingPathsGetANumberAppended) {
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
}

TEST(MountPointNamingTests, UncreatableDirectoryIsAnError) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    QFile blocker(root.filePath("media"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_THROW(MountPointNaming::createDirectory(root.filePath("media"), "Card"), PlatformError);
}

TEST(MountRegistryTests, RemembersCreatedDirectoriesUntilTaken) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    MountRegistry registry(root.filePath("state/created"));
    EXPECT_FALSE(registry.take("/media/Card"));
    registry.add("/media/Card");
    registry.add(QString::fromUtf8("/media/Caf\xC3\xA9 &<>"));
    registry.add("/media/Card");
    // A second tool run reads what the first one wrote.
    MountRegistry later(root.filePath("state/created"));
    EXPECT_TRUE(later.take("/media/Card"));
    EXPECT_FALSE(later.take("/media/Card"));
    EXPECT_FALSE(later.take("/media/Card1"));
    EXPECT_TRUE(later.take(QString::fromUtf8("/media/Caf\xC3\xA9 &<>")));

    // Tool runs in parallel processes must not lose each other's entries.
    constexpr int writers = 6;
    constexpr int entriesEach = 15;
    QList<pid_t> children;
    for (int writer = 0; writer < writers; ++writer) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            MountRegistry own(root.filePath("state/created"));
            for (int entry = 0; entry < entriesEach; ++entry) {
                own.add(QStringLiteral("/media/W%1-%2").arg(writer).arg(entry));
                own.add(QStringLiteral("/media/Gone%1-%2").arg(writer).arg(entry));
                own.take(QStringLiteral("/media/Gone%1-%2").arg(writer).arg(entry));
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
    for (int writer = 0; writer < writers; ++writer) {
        for (int entry = 0; entry < entriesEach; ++entry) {
            EXPECT_TRUE(later.take(QStringLiteral("/media/W%1-%2").arg(writer).arg(entry)))
                << writer << " " << entry;
            EXPECT_FALSE(later.take(QStringLiteral("/media/Gone%1-%2").arg(writer).arg(entry)));
        }
    }
}

class MountHoldersTests : public ::testing::Test {
protected:
    // The directory must be on a file system of its own: programs and working directories on
    // the root file system would otherwise count as holders for every process.
    void SetUp() override {
        if (!m_root.isValid()) {
            GTEST_SKIP() << "/dev/shm is not available for a separate file system";
        }
        ASSERT_NE(deviceOf(m_root.path()), deviceOf("/"));
        ASSERT_TRUE(QDir(m_root.path()).mkpath("inside"));
    }
    void TearDown() override {
        if (m_child.state() != QProcess::NotRunning) {
            m_child.kill();
            m_child.waitForFinished();
        }
    }

    QTemporaryDir m_root{QStringLiteral("/dev/shm/tarnwell-holders-XXXXXX")};
    QProcess m_child;
};

TEST_F(MountHoldersTests, FindsAProcessWorkingInsideTheFileSystem) {
    m_child.setWorkingDirectory(m_root.filePath("inside"));
    m_child.start("sleep", {"30"});
    ASSERT_TRUE(m_child.waitForStarted());
    const QList<MountHolder> holders = MountHolders::find(deviceOf(m_root.path()));
    ASSERT_TRUE(holds(holders, m_child.processId()));
    for (const MountHolder& holder : holders) {
        if (holder.pid == m_child.processId()) {
            EXPECT_EQ(holder.command, "sleep");
        }
    }
}

TEST_F(MountHoldersTests, FindsAProcessWithAnOpenFileInsideTheFileSystem) {
    const QString file = m_root.filePath("inside/held");
    QFile created(file);
    ASSERT_TRUE(created.open(QIODevice::WriteOnly));
    created.close();
    m_child.setWorkingDirectory("/proc");
    m_child.start("sh", {"-c", "exec 3<\"$0\"; exec sleep 30", file});
    ASSERT_TRUE(m_child.waitForStarted());
    // The shell opens the file just after it starts; give it a moment.
    bool found = false;
    for (int attempt = 0; attempt < 100 && !found; ++attempt) {
        found = holds(MountHolders::find(deviceOf(m_root.path())), m_child.processId());
        if (!found) {
            QThread::msleep(20);
        }
    }
    EXPECT_TRUE(found);
}

TEST_F(MountHoldersTests, IgnoresProcessesOnOtherFileSystems) {
    m_child.setWorkingDirectory("/proc");
    m_child.start("sleep", {"30"});
    ASSERT_TRUE(m_child.waitForStarted());
    EXPECT_FALSE(holds(MountHolders::find(deviceOf(m_root.path())), m_child.processId()));
}

} // namespace
} // namespace tarnwell

namespace tarnwell {
namespace {

// Puts stand-ins for udisksctl and dbus-send on PATH; the ping itself goes through the scripted
// runner, which decides whether the service answers.
class UDisksServiceTests : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_bin.isValid());
        m_path = qgetenv("PATH");
        for (const char* name : {"udisksctl", "dbus-send"}) {
            QFile program(m_bin.filePath(name));
            ASSERT_TRUE(program.open(QIODevice::WriteOnly));
            program.write("#!/bin/sh\nexit 0\n");
            program.close();
            program.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        }
    }
    void TearDown() override { qputenv("PATH", m_path); }

    QTemporaryDir m_bin;
    QByteArray m_path;
    testing::ScriptedCommands m_commands;
};

TEST_F(UDisksServiceTests, PingsTheServiceOnTheSystemBusWithTheTimeLimit) {
    qputenv("PATH", QFile::encodeName(m_bin.path()));
    m_commands.results = {{0, "method return\n", {}}};
    EXPECT_TRUE(UDisksService::answers(m_commands, 2000));
    ASSERT_EQ(m_commands.calls.size(), 1);
    EXPECT_EQ(m_commands.calls.first().first, "dbus-send");
    EXPECT_EQ(
        m_commands.calls.first().second,
        (QStringList{"--system", "--print-reply", "--reply-timeout=2000", "--dest=org.freedesktop.UDisks2",
                     "/org/freedesktop/UDisks2", "org.freedesktop.DBus.Peer.Ping"}));
}

TEST_F(UDisksServiceTests, ServiceThatDoesNotAnswerIsNotUsed) {
    qputenv("PATH", QFile::encodeName(m_bin.path()));
    m_commands.results = {{1, {}, "Error org.freedesktop.DBus.Error.ServiceUnknown\n"}};
    EXPECT_FALSE(UDisksService::answers(m_commands));
}

TEST_F(UDisksServiceTests, WithoutTheClientProgramsNothingIsAsked) {
    qputenv("PATH", QFile::encodeName(m_bin.path() + "/missing"));
    EXPECT_FALSE(UDisksService::answers(m_commands));
    EXPECT_TRUE(m_commands.calls.isEmpty());
}

} // namespace
} // namespace tarnwell
