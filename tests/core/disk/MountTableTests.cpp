#include "core/disk/MountTable.h"

#include <gtest/gtest.h>

using namespace tarnwell;

TEST(MountTable, ReadsMountPointsInFileOrderAndDecodesEscapes) {
    const QByteArray mountInfo =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "40 22 8:17 / /media/ana/Rushes\\040&\\040Co rw,nosuid shared:30 - exfat /dev/sdb1 rw\n"
        "41 22 8:18 / /media/ana/Line\\012Break\\011Tab\\134Slash rw - vfat /dev/sdb2 rw\n"
        "42 22 8:19 / /media/ana/\xc3\x89t\xc3\xa9 rw - vfat /dev/sdb3 rw\n"
        "broken line\n"
        "\n"
        "43 22 8:20 / /mnt/odd\\9 rw - vfat /dev/sdb4 rw\n";
    EXPECT_EQ(MountTable::parseMountPoints(mountInfo),
              (QStringList{QStringLiteral("/"), QStringLiteral("/media/ana/Rushes & Co"),
                           QStringLiteral("/media/ana/Line\nBreak\tTab\\Slash"),
                           QStringLiteral("/media/ana/Été"), QStringLiteral("/mnt/odd\\9")}));
}

TEST(MountTable, ReadsTheKernelsTableAndToleratesAMissingFile) {
    EXPECT_TRUE(MountTable::mountPoints().contains(QStringLiteral("/")));
    EXPECT_TRUE(MountTable::mountPoints(QStringLiteral("/nonexistent/mountinfo")).isEmpty());
}
