#include "DiskutilTestSupport.h"
#include "core/disk/MountTable.h"
#include "diskutil/MountPointNaming.h"
#include "diskutil/MountRegistry.h"
#include "diskutil/SystemCallMounter.h"
#include "diskutil/ToolError.h"

#include <QDir>
#include <QFile>
#include <fcntl.h>
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
        EXPECT_EQ(MountPointNaming::directoryName(label), name) << label;
    }
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const std::string media = root.filePath("media").toStdString();
    EXPECT_EQ(MountPointNaming::createDirectory(media, "Card"), media + "/Card");
    EXPECT_EQ(MountPointNaming::createDirectory(media, "Card"), media + "/Card1");
    QFile(QString::fromStdString(media + "/Card2")).open(QIODevice::WriteOnly);
    EXPECT_EQ(MountPointNaming::createDirectory(media, "Card"), media + "/Card3");
    EXPECT_THROW(MountPointNaming::createDirectory(media + "/Card2", "Card"), ToolError);
    // A root that others could change, or a link to one, is not mounted in.
    ASSERT_TRUE(QFile::link(root.filePath("media"), root.filePath("link")));
    EXPECT_THROW(MountPointNaming::createDirectory(root.filePath("link").toStdString(), "Card"), ToolError);
    ASSERT_EQ(::chmod(media.c_str(), 0775), 0);
    EXPECT_THROW(MountPointNaming::createDirectory(media, "Card"), ToolError);
}

// Tool runs in parallel processes must not lose each other's entries.
TEST(MountRegistryTests, ParallelRunsKeepEveryEntryUntilItsFolderIsRemoved) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const std::string path = root.filePath("state/created").toStdString();
    constexpr int writers = 6;
    constexpr int entriesEach = 15;
    const auto folder = [&root](const char* stem, int writer, int index) {
        return root.filePath(QStringLiteral("%1%2-%3").arg(stem).arg(writer).arg(index)).toStdString();
    };
    QList<pid_t> children;
    for (int writer = 0; writer < writers; ++writer) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            MountRegistry own(path);
            for (int index = 0; index < entriesEach; ++index) {
                for (const char* stem : {"W", "Gone \xC3\xA9 "}) {
                    ::mkdir(folder(stem, writer, index).c_str(), 0755);
                    own.add(folder(stem, writer, index));
                }
                own.release(folder("Gone \xC3\xA9 ", writer, index));
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
        for (int index = 0; index < entriesEach; ++index) {
            EXPECT_EQ(::access(folder("Gone \xC3\xA9 ", writer, index).c_str(), F_OK), -1);
            EXPECT_TRUE(later.release(folder("W", writer, index))) << writer << " " << index;
            EXPECT_FALSE(later.release(folder("W", writer, index)));
        }
    }
}

using SystemCallMounterTests = testing::RootLoopVolumeTest;

// The calls mount without set-user-ID programs or device nodes, report a mount in use as busy and
// leave it mounted, and leave to the programs a type with a helper program and any unmount while
// the userspace table holds entries.
TEST_F(SystemCallMounterTests, MountsPlainlyAndLeavesWhatNeedsMoreToThePrograms) {
    const auto volume = testing::LoopVolume::create(m_images, testing::uniqueLabel("Direct").toUtf8());
    ASSERT_TRUE(volume);
    const std::string device = volume->path().toStdString();
    const QString folder = QDir(m_images.path()).canonicalPath() + "/mount";
    const QString helpers = m_images.filePath("helpers");
    ASSERT_TRUE(QDir().mkpath(folder) && QDir().mkpath(helpers));
    const auto write = [](const QString& path, const QByteArray& content) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    };
    ASSERT_TRUE(write(helpers + "/mount.ext4", "#!/bin/sh\nexit 1\n") &&
                QFile::setPermissions(helpers + "/mount.ext4", QFile::ReadOwner | QFile::ExeOwner));
    const QString userspaceTable = m_images.filePath("utab");
    const auto mountOptions = [&] {
        for (const QString& line : QString::fromUtf8(MountTable::read()).split(u'\n')) {
            if (line.section(u' ', 4, 4) == folder) {
                return line.section(u' ', 5, 5);
            }
        }
        return QString();
    };
    SystemCallMounter helped({helpers.toStdString()}, userspaceTable.toStdString());
    EXPECT_EQ(helped.mount(device, folder.toStdString(), "ext4"), DirectMounting::Outcome::Declined);
    EXPECT_TRUE(volume->mountPoints().isEmpty());

    SystemCallMounter mounter({m_images.filePath("none").toStdString()}, userspaceTable.toStdString());
    ASSERT_EQ(mounter.mount(device, folder.toStdString(), "ext4"), DirectMounting::Outcome::Done);
    EXPECT_EQ(volume->mountPoints(), QStringList{folder});
    EXPECT_EQ(mountOptions(), "rw,nosuid,nodev,relatime");
    const int inside = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(inside, 0);
    EXPECT_EQ(mounter.unmount(folder.toStdString(), "ext4"), DirectMounting::Outcome::Busy);
    ::close(inside);
    EXPECT_EQ(volume->mountPoints(), QStringList{folder});
    ASSERT_TRUE(write(userspaceTable, "ID=1 SRC=/dev/x TARGET=/x ROOT=/ OPTS=uhelper=udisks2\n"));
    EXPECT_EQ(mounter.unmount(folder.toStdString(), "ext4"), DirectMounting::Outcome::Declined);
    ASSERT_TRUE(QFile::remove(userspaceTable));
    EXPECT_EQ(mounter.unmount(folder.toStdString(), "ext4"), DirectMounting::Outcome::Done);
    EXPECT_TRUE(volume->mountPoints().isEmpty());
}

} // namespace
} // namespace tarnwell
