#include "DiskutilTestSupport.h"
#include "core/support/DecodingError.h"
#include "core/support/PropertyListReader.h"
#include "core/support/PropertyListWriter.h"
#include "diskutil/DiskDocuments.h"
#include "diskutil/DiskTool.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <gtest/gtest.h>

// The tool's commands in-process over captured and constructed lsblk output, with every program
// it would start scripted.

namespace tarnwell {
namespace {

using testing::diskutilFixture;

class DiskToolTests : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_root.isValid());
        m_commands.lsblkOutput = diskutilFixture("lsblk-four-loop-devices.json");
        for (const auto& [device, fixture] :
             {std::pair{"/dev/loop0", "blkid-ext4-label-with-markup.txt"},
              std::pair{"/dev/loop1", "blkid-vfat-fat16.txt"}, std::pair{"/dev/loop2", "blkid-exfat.txt"}}) {
            m_probe.identities.insert(device, testing::identityFromBlkidUdev(diskutilFixture(fixture)));
        }
        m_mountInfo = "30 1 7:0 / /tmp/i7probe/m\\040nt\\040\xC3\xA9 rw - ext4 /dev/loop0 rw\n";
    }

    CommandResult run(const QStringList& arguments, bool root = true, bool udisks = false,
                      QList<MountHolder> holders = {}) {
        DiskToolServices services;
        services.commands = &m_commands;
        services.probe = &m_probe;
        services.udisksAnswers = [udisks] { return udisks; };
        services.isRoot = root;
        services.mediaRoot = media();
        services.registry = registry();
        services.findHolders = [holders](dev_t) { return holders; };
        services.mountInfo = [this] { return m_mountInfo; };
        return DiskTool(std::move(services)).run(arguments);
    }

    QString media() const { return QDir(m_root.path()).canonicalPath() + "/media"; }
    MountRegistry registry() const { return MountRegistry(m_root.filePath("run/created")); }
    QString here(QString text) const { return text.replace("MEDIA", media()); }
    QStringList here(QStringList texts) const {
        for (QString& text : texts) {
            text = here(text);
        }
        return texts;
    }

    QTemporaryDir m_root;
    testing::ScriptedCommands m_commands;
    testing::FixtureProbe m_probe;
    QByteArray m_mountInfo;
};

TEST_F(DiskToolTests, DocumentsDescribeTheVolumeTheTargetNames) {
    for (const char* uuid :
         {"9C616C72-770C-40A3-9A07-73691EDCB53F", "9c616c72-770c-40a3-9a07-73691edcb53f"}) {
        const CommandResult result = run({"info", "-plist", uuid});
        ASSERT_EQ(result.exitCode, 0) << result.error.toStdString();
        const PropertyList info = PropertyListReader::read(result.output);
        EXPECT_EQ(info.string("VolumeName"), QString::fromUtf8("My Disk &<>é"));
        EXPECT_EQ(info.string("VolumeUUID"), "9c616c72-770c-40a3-9a07-73691edcb53f");
        EXPECT_EQ(info.string("MountPoint"), QString::fromUtf8("/tmp/i7probe/m nt é"));
    }
    m_probe.probed.clear();
    // A device name reads that device's superblock and no other.
    EXPECT_EQ(PropertyListReader::read(run({"info", "-plist", "loop2"}).output).string("FilesystemName"),
              "ExFAT");
    EXPECT_EQ(m_probe.probed, QStringList{"/dev/loop2"});
    EXPECT_EQ(PropertyListReader::read(run({"info", "-plist", "/dev/loop1"}).output).string("FilesystemName"),
              "MS-DOS FAT16");
    for (const QStringList& arguments :
         {QStringList{"apfs", "list", "disk3", "-plist"}, QStringList{"apfs", "list", "-plist"},
          QStringList{"list", "-plist", "external", "physical"}}) {
        const PropertyList document = PropertyListReader::read(run(arguments).output);
        const auto* entries =
            document.array(arguments.first() == "apfs" ? "Containers" : "AllDisksAndPartitions");
        ASSERT_NE(entries, nullptr);
        EXPECT_TRUE(entries->empty()) << "loop devices are no physical disks";
    }
    for (const QStringList& arguments :
         {QStringList{}, QStringList{"info", "loop0"}, QStringList{"list", "-plist"},
          QStringList{"eject", "loop0"}, QStringList{"unmount", "force", "loop0"}}) {
        const CommandResult result = run(arguments);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(result.error.startsWith("Usage: ")) << arguments.join(' ').toStdString();
    }
    m_commands.lsblkExitCode = 1;
    EXPECT_EQ(run({"info", "-plist", "loop0"}), (CommandResult{1, {}, "lsblk failed: lsblk: broken\n"}));
    EXPECT_TRUE(m_commands.calls.isEmpty());
}

// Mounts and unmounts with the volume loop1 ("FAT LBL", 402B-4653) mounted at folders below the
// media root as the row says: what the tool prints, which programs it runs, and which folders and
// records are left.
TEST_F(DiskToolTests, MountAndUnmountRunThePlainCommandsAndKeepOnlyTheirOwnFolders) {
    struct Row {
        const char* name;
        QStringList arguments;
        QStringList mounted = {};
        QStringList recorded = {};
        bool root = true;
        bool udisks = false;
        QList<CommandResult> results = {};
        QList<MountHolder> holders = {};
        CommandResult expected = {};
        QList<QStringList> calls = {};
        QStringList foldersAfter = {};
        QStringList recordedAfter = {};
    };
    const QString busy = "Volume FAT LBL on loop1 failed to unmount: target is busy\n";
    const std::vector<Row> rows = {
        {.name = "unknown target",
         .arguments = {"mount", "/no/such/path"},
         .expected = {1, {}, "Could not find disk: /no/such/path\n"}},
        {.name = "not root",
         .arguments = {"mount", "EBB5-F42C"},
         .root = false,
         .expected = {1,
                      {},
                      "Volume ex lbl on loop2 failed to mount: mounting needs the UDisks2 service or root "
                      "privileges\n"}},
        {.name = "no file system",
         .arguments = {"mount", "loop3"},
         .expected = {1, {}, "Volume on loop3 failed to mount: no file system was found on it\n"}},
        {.name = "not mounted",
         .arguments = {"unmount", "402B-4653"},
         .expected = {1, {}, "Volume FAT LBL on loop1 failed to unmount: not mounted\n"}},
        {.name = "already mounted",
         .arguments = {"mount", "9C616C72-770C-40A3-9A07-73691EDCB53F"},
         .expected =
             {0,
              "Volume My Disk &<>\xC3\xA9 on loop0 is already mounted at /tmp/i7probe/m nt \xC3\xA9\n",
              {}}},
        {.name = "mount as root",
         .arguments = {"mount", "402b-4653"},
         .expected = {0, "Volume FAT LBL on loop1 mounted\n", {}},
         .calls = {{"mount", "-o", "nosuid,nodev", "/dev/loop1", "MEDIA/FAT LBL"}},
         .foldersAfter = {"FAT LBL"},
         .recordedAfter = {"FAT LBL"}},
        {.name = "failed mount",
         .arguments = {"mount", "402B-4653"},
         .results = {{32, {}, "mount: MEDIA/FAT LBL: unknown filesystem type 'vfat'.\n"}},
         .expected = {1,
                      {},
                      "Volume FAT LBL on loop1 failed to mount: mount: MEDIA/FAT LBL: unknown filesystem "
                      "type 'vfat'.\n"},
         .calls = {{"mount", "-o", "nosuid,nodev", "/dev/loop1", "MEDIA/FAT LBL"}}},
        {.name = "mount through UDisks",
         .arguments = {"mount", "EBB5-F42C"},
         .udisks = true,
         .expected = {0, "Volume ex lbl on loop2 mounted\n", {}},
         .calls = {{"udisksctl", "mount", "--block-device", "/dev/loop2", "--no-user-interaction"}}},
        {.name = "unmount of the tool's folder",
         .arguments = {"unmount", "402b-4653"},
         .mounted = {"Shoot"},
         .recorded = {"Shoot"},
         .expected = {0, "Volume FAT LBL on loop1 unmounted\n", {}},
         .calls = {{"umount", "MEDIA/Shoot"}}},
        {.name = "unmount of a folder found in place",
         .arguments = {"unmount", "MEDIA/Shoot"},
         .mounted = {"Shoot"},
         .expected = {0, "Volume FAT LBL on loop1 unmounted\n", {}},
         .calls = {{"umount", "MEDIA/Shoot"}},
         .foldersAfter = {"Shoot"}},
        {.name = "a mount path names one mount",
         .arguments = {"unmount", "MEDIA/Second"},
         .mounted = {"First", "Second"},
         .expected = {0, "Volume FAT LBL on loop1 unmounted\n", {}},
         .calls = {{"umount", "MEDIA/Second"}},
         .foldersAfter = {"First", "Second"}},
        {.name = "a device names all mounts",
         .arguments = {"unmount", "loop1"},
         .mounted = {"First", "Second"},
         .recorded = {"First", "Second"},
         .expected = {0, "Volume FAT LBL on loop1 unmounted\n", {}},
         .calls = {{"umount", "MEDIA/First"}, {"umount", "MEDIA/Second"}}},
        {.name = "busy",
         .arguments = {"unmount", "loop1"},
         .mounted = {"Shoot"},
         .recorded = {"Shoot"},
         .results = {{32, {}, "umount: MEDIA/Shoot: target is busy.\n"}},
         .holders = {{4242, "sleep"}, {4243, "bash"}},
         .expected = {1,
                      {},
                      (busy + "dissented by PID 4242 (sleep)\ndissented by PID 4243 (bash)\n").toUtf8()},
         .calls = {{"umount", "MEDIA/Shoot"}},
         .foldersAfter = {"Shoot"},
         .recordedAfter = {"Shoot"}},
        {.name = "busy through UDisks",
         .arguments = {"unmount", "402b-4653"},
         .mounted = {"Shoot"},
         .udisks = true,
         .results = {{1,
                      {},
                      "Error unmounting /dev/loop1: GDBus.Error:org.freedesktop.UDisks2.Error.DeviceBusy: "
                      "target is busy\n"}},
         .holders = {{77, "kdenlive"}},
         .expected = {1, {}, (busy + "dissented by PID 77 (kdenlive)\n").toUtf8()},
         .calls = {{"udisksctl", "unmount", "--block-device", "/dev/loop1", "--no-user-interaction"}},
         .foldersAfter = {"Shoot"}},
        {.name = "refused",
         .arguments = {"unmount", "loop1"},
         .mounted = {"Shoot"},
         .results = {{32, {}, "umount: MEDIA/Shoot: must be superuser to unmount.\n"}},
         .expected = {1,
                      {},
                      "Volume FAT LBL on loop1 failed to unmount: umount: MEDIA/Shoot: must be superuser to "
                      "unmount.\n"},
         .calls = {{"umount", "MEDIA/Shoot"}},
         .foldersAfter = {"Shoot"}},
    };
    const QString baseMountInfo = QString::fromUtf8(m_mountInfo);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_commands.calls.clear();
        m_commands.results = row.results;
        m_mountInfo = baseMountInfo.toUtf8();
        for (const QString& folder : row.mounted) {
            ASSERT_TRUE(QDir().mkpath(media() + "/" + folder));
            m_mountInfo +=
                QStringLiteral("31 1 7:1 / %1/%2 rw - vfat /dev/loop1 rw\n").arg(media(), folder).toUtf8();
        }
        for (const QString& folder : row.recorded) {
            registry().add(media() + "/" + folder);
        }
        for (CommandResult& result : m_commands.results) {
            result.error = here(QString::fromUtf8(result.error)).toUtf8();
        }
        const CommandResult result = run(here(row.arguments), row.root, row.udisks, row.holders);
        EXPECT_EQ(result, (CommandResult{row.expected.exitCode, row.expected.output,
                                         here(QString::fromUtf8(row.expected.error)).toUtf8()}));
        QList<QStringList> calls;
        for (const QStringList& call : row.calls) {
            calls.append(here(call));
        }
        EXPECT_EQ(m_commands.calls, calls);
        EXPECT_EQ(QDir(media()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), row.foldersAfter);
        QStringList recordedAfter;
        for (const QString folder : {"FAT LBL", "Shoot", "First", "Second"}) {
            if (registry().take(media() + "/" + folder)) {
                recordedAfter.append(folder);
            }
        }
        EXPECT_EQ(recordedAfter, row.recordedAfter);
        QDir(media()).removeRecursively();
    }
}

// Every document of every device of the constructed machines, compared with the checked-in
// expectation; the mount points come from the kernel's table, not from lsblk.
TEST(DiskDocumentsTests, ConstructedMachinesGiveTheExpectedDocuments) {
    const auto mounts = MountTable::parse(diskutilFixture("constructed.mountinfo"));
    PropertyList::Dictionary machines;
    for (const QString fixture : {"lsblk-constructed-sata-usb-nvme-mmc-loop.json",
                                  "lsblk-old-version-and-raid.json", "lsblk-label-not-utf8.json"}) {
        BlockDeviceTable table = BlockDeviceTable::fromLsblkJson(diskutilFixture(fixture));
        table.useMounts(mounts);
        PropertyList::Dictionary infos;
        for (const BlockDevice& device : table.devices()) {
            infos.emplace_back(device.name, DiskDocuments::info(table, device));
        }
        machines.emplace_back(fixture,
                              PropertyList(PropertyList::Dictionary{
                                  {"info", PropertyList(std::move(infos))},
                                  {"list external physical", DiskDocuments::externalPhysicalList(table)}}));
    }
    const QByteArray actual = PropertyListWriter::write(PropertyList(std::move(machines)));
    const QString actualPath = QDir::temp().filePath("constructed-documents.actual.plist");
    if (actual != diskutilFixture("constructed-documents.plist")) {
        QFile file(actualPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(actual) == actual.size());
        ADD_FAILURE() << "documents differ from the expectation; see " << actualPath.toStdString();
    }

    const BlockDeviceTable table =
        BlockDeviceTable::fromLsblkJson(diskutilFixture("lsblk-constructed-sata-usb-nvme-mmc-loop.json"));
    for (const auto& [target, name] :
         {std::pair{"D1E2F3A4-B5C6-4D7E-8F90-A1B2C3D4E5F6", "dm-0"}, std::pair{"82ab-3dee", "sdc"},
          std::pair{"sdb2", "sdb2"}, std::pair{"/dev/sdb2", "sdb2"}, std::pair{"/dev/mapper/vault", "dm-0"},
          std::pair{"sdz", ""}, std::pair{"00000000-0000-0000-0000-000000000000", ""}}) {
        const BlockDevice* found = table.resolveDeviceTarget(target);
        found = found ? found : table.resolveUuidTarget(target);
        EXPECT_EQ(found ? found->name : QString(), name) << target;
    }
}

// Samples of lsblk output the tool must refuse with an error rather than describe as an empty
// machine; shared with the fuzzing corpus.
TEST(DiskDocumentsTests, MalformedLsblkOutputIsAnError) {
    QDirIterator samples(QStringLiteral(TARNWELL_DISKUTIL_FIXTURES "/lsblk-malformed"), QDir::Files);
    int count = 0;
    while (samples.hasNext()) {
        const QString path = samples.next();
        EXPECT_THROW(
            BlockDeviceTable::fromLsblkJson(diskutilFixture("lsblk-malformed/" + QFileInfo(path).fileName())),
            DecodingError)
            << path.toStdString();
        ++count;
    }
    EXPECT_GE(count, 5);
}

} // namespace
} // namespace tarnwell
