#include "DiskutilTestSupport.h"
#include "diskutil/MountPointNaming.h"
#include "diskutil/MountRegistry.h"
#include "diskutil/ToolError.h"

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
}

// Tool runs in parallel processes must not lose each other's entries.
TEST(MountRegistryTests, ParallelRunsKeepEveryEntryUntilItIsTaken) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const std::string path = root.filePath("state/created").toStdString();
    constexpr int writers = 6;
    constexpr int entriesEach = 15;
    const auto entry = [](const char* stem, int writer, int index) {
        return std::string(stem) + std::to_string(writer) + "-" + std::to_string(index);
    };
    QList<pid_t> children;
    for (int writer = 0; writer < writers; ++writer) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            MountRegistry own(path);
            for (int index = 0; index < entriesEach; ++index) {
                own.add(entry("/media/W", writer, index));
                own.add(entry("/media/Gone \xC3\xA9 ", writer, index));
                own.take(entry("/media/Gone \xC3\xA9 ", writer, index));
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
            EXPECT_TRUE(later.take(entry("/media/W", writer, index))) << writer << " " << index;
            EXPECT_FALSE(later.take(entry("/media/W", writer, index)));
            EXPECT_FALSE(later.take(entry("/media/Gone \xC3\xA9 ", writer, index)));
        }
    }
}

} // namespace
} // namespace tarnwell
