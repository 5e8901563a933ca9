#include "DiskutilTestSupport.h"
#include "core/support/PlatformError.h"
#include "diskutil/MountPointNaming.h"
#include "diskutil/MountRegistry.h"

#include <QDir>
#include <QFile>
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
    QFile(media + "/Card2").open(QIODevice::WriteOnly);
    EXPECT_EQ(MountPointNaming::createDirectory(media, "Card"), media + "/Card3");
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

} // namespace
} // namespace tarnwell
