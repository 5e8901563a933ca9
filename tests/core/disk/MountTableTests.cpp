#include "core/disk/MountTable.h"

#include <gtest/gtest.h>

using namespace tarnwell;

TEST(MountTable, ReadsMountsInFileOrderAndDecodesEscapes) {
    const QByteArray mountInfo =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "40 22 8:17 / /media/ana/Rushes\\040&\\040Co rw,nosuid shared:30 - exfat /dev/sdb1 rw\n"
        "41 22 8:18 / /media/ana/Line\\012Break\\011Tab\\134Slash rw - vfat /dev/sdb2 rw\n"
        "42 22 0:44 / /media/ana/\xc3\x89t\xc3\xa9 rw - btrfs /dev/my\\040disk rw\n"
        "broken line\n"
        "\n"
        "43 22 8:20 / /mnt/odd\\9 rw\n";
    EXPECT_EQ(MountTable::parse(mountInfo),
              (QList<MountTable::Mount>{{"8:1", "/dev/sda1", "/"},
                                        {"8:17", "/dev/sdb1", "/media/ana/Rushes & Co"},
                                        {"8:18", "/dev/sdb2", "/media/ana/Line\nBreak\tTab\\Slash"},
                                        {"0:44", "/dev/my disk", QString::fromUtf8("/media/ana/Été")},
                                        {"8:20", "", "/mnt/odd\\9"}}));
    EXPECT_TRUE(MountTable::mountPoints().contains(QStringLiteral("/")));
    EXPECT_TRUE(MountTable::mountPoints(QStringLiteral("/nonexistent/mountinfo")).isEmpty());
}
