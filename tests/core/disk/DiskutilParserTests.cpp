#include "core/disk/DiskutilParser.h"
#include "core/model/TarnwellError.h"
#include "core/support/DecodingError.h"
#include "core/support/PropertyListWriter.h"

#include <QDir>
#include <QFile>
#include <functional>
#include <gtest/gtest.h>

using namespace tarnwell;

namespace {

QByteArray fixture(const QString& name) {
    QFile file(QDir(QStringLiteral(TARNWELL_DISKUTIL_FIXTURES)).filePath(name));
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "missing fixture " << name.toStdString();
        return {};
    }
    return file.readAll();
}

QByteArray document(PropertyList::Dictionary entries) {
    return PropertyListWriter::write(PropertyList(std::move(entries)));
}

PropertyList dictionary(PropertyList::Dictionary entries) {
    return PropertyList(std::move(entries));
}

template <typename Parse> QString unknownMessage(Parse parse) {
    try {
        parse();
    } catch (const TarnwellError& error) {
        EXPECT_EQ(error.errorCase(), TarnwellError::Case::Unknown);
        return error.payload();
    }
    ADD_FAILURE() << "no TarnwellError thrown";
    return {};
}

} // namespace

TEST(DiskutilParserRealOutput, ReadsAMountedExternalUSBStick) {
    const DriveInfo info = DiskutilParser::parseInfoPlist(
        fixture(QStringLiteral("info-external-usb-stick-fat-whole-disk.plist")));
    EXPECT_EQ(info,
              (DriveInfo{QStringLiteral("NO NAME"), QStringLiteral("82533DEE-A3AC-3770-BB9B-9298931A927B"),
                         QStringLiteral("disk2"), QStringLiteral("MS-DOS FAT32"),
                         QStringLiteral("/Volumes/NO NAME"), QStringLiteral("USB"), true, true}));
}

TEST(DiskutilParserRealOutput, TrimmedRootVolumeWithoutInternalKeyCountsAsInternal) {
    const DriveInfo info = DiskutilParser::parseInfoPlist(
        fixture(QStringLiteral("info-internal-apfs-root-highsierra-trimmed.plist")));
    EXPECT_EQ(info.volumeName, QStringLiteral("Macintosh HD"));
    EXPECT_EQ(info.mountPoint, QStringLiteral("/"));
    EXPECT_FALSE(info.busProtocol.has_value());
    EXPECT_FALSE(info.isExternal);
    EXPECT_TRUE(info.isMounted);
}

TEST(DiskutilParserRealOutput, WholeDisksWithoutVolumeAreNotVolumesButHaveAnIdentity) {
    for (const char* name :
         {"info-external-usb-ide-adapter-whole-disk.plist", "info-internal-whole-disk0-pcie.plist",
          "info-external-usb-stick-mbr-whole-disk-not-mounted.plist"}) {
        SCOPED_TRACE(name);
        const QByteArray data = fixture(QString::fromLatin1(name));
        EXPECT_EQ(unknownMessage([&] { DiskutilParser::parseInfoPlist(data); }),
                  QStringLiteral("Missing required diskutil plist fields"));
        EXPECT_NO_THROW(DiskutilParser::parseDiskIdentityPlist(data));
    }
    EXPECT_EQ(DiskutilParser::parseDiskIdentityPlist(
                  fixture(QStringLiteral("info-external-usb-ide-adapter-whole-disk.plist"))),
              (DiskIdentity{QStringLiteral("disk2"), std::nullopt, QStringLiteral("USB"), true}));
}

TEST(DiskutilParserRealOutput, ReadsAnInternalAPFSContainerIdentity) {
    EXPECT_EQ(DiskutilParser::parseDiskIdentityPlist(
                  fixture(QStringLiteral("info-apfs-container-disk1-internal.plist"))),
              (DiskIdentity{QStringLiteral("disk1"), QStringLiteral("disk1"), QStringLiteral("PCI-Express"),
                            false}));
}

TEST(DiskutilParserRealOutput, APFSListingKeepsOnlyTheVolumeWithoutRoles) {
    const QList<APFSVolumeRecord> volumes =
        DiskutilParser::parseAPFSVolumes(fixture(QStringLiteral("apfs-list-internal-highsierra-1.plist")));
    ASSERT_EQ(volumes.size(), 1);
    EXPECT_EQ(volumes.first(), (APFSVolumeRecord{QStringLiteral("disk1s1"), QStringLiteral("Macintosh HD"),
                                                 QStringLiteral("C72D5CF6-E9D1-3FCB-A0B0-E3DE83364FD6"),
                                                 QStringLiteral("disk1")}));
    EXPECT_TRUE(
        DiskutilParser::parseAPFSVolumes(fixture(QStringLiteral("apfs-list-no-containers.plist"))).isEmpty());
}

TEST(DiskutilParserRealOutput, FindsAPFSPhysicalStoresInEveryListing) {
    const std::vector<std::pair<const char*, QStringList>> expectations = {
        {"list-external-usb-stick-mbr-fat32.plist", {}},
        {"list-external-usb-ide-adapter-mbr.plist", {}},
        {"list-external-usb-stick-unpartitioned.plist", {}},
        {"list-physical-vm-with-apfs-recovery-partition.plist", {QStringLiteral("disk0s2")}},
        {"list-physical-vm-two-disks-one-raw.plist", {QStringLiteral("disk0s2")}},
        {"list-all-internal-apfs-highsierra-1.plist", {QStringLiteral("disk0s2")}},
        {"list-all-with-usb-stick.plist", {QStringLiteral("disk0s2")}},
        {"list-all-with-usb-ide-adapter.plist", {QStringLiteral("disk0s2")}},
        {"list-all-mojave-external-usb-hfs-and-timemachine.plist",
         {QStringLiteral("disk0s2"), QStringLiteral("disk2s2")}},
        {"list-all-sonoma-applesilicon-external-ntfs-REFORMATTED.plist", {QStringLiteral("disk0s2")}},
    };
    for (const auto& [name, stores] : expectations) {
        SCOPED_TRACE(name);
        EXPECT_EQ(
            DiskutilParser::parseExternalAPFSPhysicalStoreIdentifiers(fixture(QString::fromLatin1(name))),
            stores);
    }
}

TEST(DiskutilParserVolumeInformation, EmptyMountPointMeansNotMounted) {
    const DriveInfo info = DiskutilParser::parseInfoPlist(
        document({{"VolumeName", "Media"}, {"VolumeUUID", "U-1"}, {"MountPoint", ""}, {"Internal", false}}));
    EXPECT_FALSE(info.mountPoint.has_value());
    EXPECT_FALSE(info.isMounted);
    EXPECT_TRUE(info.isExternal);
}

TEST(DiskutilParserVolumeInformation, ExternalRuleNeedsABooleanFalseInternalAndNoDiskImage) {
    struct Case {
        std::optional<PropertyList> internal;
        std::optional<QString> bus;
        bool external;
    };
    const std::vector<Case> cases = {
        {std::nullopt, QStringLiteral("USB"), false},
        {PropertyList(true), QStringLiteral("USB"), false},
        {PropertyList(false), QStringLiteral("USB"), true},
        {PropertyList(false), std::nullopt, true},
        {PropertyList(false), QStringLiteral("Disk Image"), false},
        {PropertyList("false"), QStringLiteral("USB"), false},
        {PropertyList(0), QStringLiteral("USB"), false},
    };
    for (const Case& testCase : cases) {
        PropertyList::Dictionary entries = {{"VolumeName", "V"}, {"VolumeUUID", "U"}};
        if (testCase.internal) {
            entries.emplace_back(QStringLiteral("Internal"), *testCase.internal);
        }
        if (testCase.bus) {
            entries.emplace_back(QStringLiteral("BusProtocol"), *testCase.bus);
        }
        const QByteArray data = document(entries);
        SCOPED_TRACE(data.toStdString());
        const DriveInfo info = DiskutilParser::parseInfoPlist(data);
        EXPECT_EQ(info.isExternal, testCase.external);
        EXPECT_EQ(info.busProtocol, testCase.bus);
        EXPECT_EQ(DiskutilParser::parseDiskIdentityPlist(data).isExternal, testCase.external);
    }
}

TEST(DiskutilParserVolumeInformation, OptionalFieldsOfTheWrongTypeCountAsAbsent) {
    const DriveInfo info = DiskutilParser::parseInfoPlist(document({{"VolumeName", "V"},
                                                                    {"VolumeUUID", "U"},
                                                                    {"DeviceIdentifier", 3},
                                                                    {"FilesystemName", true},
                                                                    {"MountPoint", PropertyList::Array{}},
                                                                    {"BusProtocol", 1.5}}));
    DriveInfo expected;
    expected.volumeName = QStringLiteral("V");
    expected.volumeUUID = QStringLiteral("U");
    EXPECT_EQ(info, expected);
}

TEST(DiskutilParserVolumeInformation, AwkwardNamesAndPathsSurviveTheRoundTrip) {
    const QString name = QStringLiteral("Rushes & <Dailies> \"A\" 'B' — Été 日本");
    const QString mountPoint = QStringLiteral("/Volumes/Rushes & <Dailies>\nline two");
    const DriveInfo info = DiskutilParser::parseInfoPlist(
        document({{"VolumeName", name}, {"VolumeUUID", "U"}, {"MountPoint", mountPoint}}));
    EXPECT_EQ(info.volumeName, name);
    EXPECT_EQ(info.mountPoint, mountPoint);
}

// Each reader names the document it could not use, so a failure shows which answer of the tool was
// wrong; a listing handed to the wrong reader must fail the same way.
TEST(DiskutilParserDocuments, EveryMalformedDocumentGetsItsReadersMessage) {
    using Reader = std::function<void(const QByteArray&)>;
    const Reader info = [](const QByteArray& data) { DiskutilParser::parseInfoPlist(data); };
    const Reader identity = [](const QByteArray& data) { DiskutilParser::parseDiskIdentityPlist(data); };
    const Reader stores = [](const QByteArray& data) {
        DiskutilParser::parseExternalAPFSPhysicalStoreIdentifiers(data);
    };
    const Reader apfs = [](const QByteArray& data) { DiskutilParser::parseAPFSVolumes(data); };
    const QByteArray array = PropertyListWriter::write(PropertyList(PropertyList::Array{PropertyList("x")}));
    const QByteArray listing = fixture(QStringLiteral("list-external-usb-stick-mbr-fat32.plist"));
    const QString missingFields = QStringLiteral("Missing required diskutil plist fields");
    const QString missingPartitions = QStringLiteral("Missing diskutil external physical partitions");
    const QString missingContainers = QStringLiteral("Missing diskutil apfs containers");
    struct Case {
        const char* name;
        Reader reader;
        QByteArray data;
        QString message;
    };
    const std::vector<Case> cases = {
        {"info of an array", info, array, QStringLiteral("Invalid diskutil plist")},
        {"identity of an array", identity, array, QStringLiteral("Invalid diskutil identity plist")},
        {"stores of an array", stores, array,
         QStringLiteral("Invalid diskutil external physical list plist")},
        {"apfs of an array", apfs, array, QStringLiteral("Invalid diskutil apfs plist")},
        {"info without a name", info, document({{"VolumeUUID", "U"}}), missingFields},
        {"info without a UUID", info, document({{"VolumeName", "V"}}), missingFields},
        {"info with a number as name", info, document({{"VolumeName", 5}, {"VolumeUUID", "U"}}),
         missingFields},
        {"info with an array as UUID", info,
         document({{"VolumeName", "V"}, {"VolumeUUID", PropertyList::Array{}}}), missingFields},
        {"info of the tool's error document", info,
         document({{"Error", true}, {"ErrorMessage", "Could not find disk: X"}}), missingFields},
        {"info of a listing", info, listing, missingFields},
        {"apfs of a listing", apfs, listing, missingContainers},
        {"stores of an apfs listing", stores,
         fixture(QStringLiteral("apfs-list-internal-highsierra-1.plist")), missingPartitions},
        {"stores without partitions", stores, document({{"WholeDisks", PropertyList::Array{}}}),
         missingPartitions},
        {"stores with a text partition", stores,
         document({{"AllDisksAndPartitions", PropertyList::Array{PropertyList("disk4")}}}),
         missingPartitions},
        {"apfs with text containers", apfs, document({{"Containers", "disk5"}}), missingContainers},
        {"apfs with a number container", apfs,
         document({{"Containers", PropertyList::Array{PropertyList(1)}}}), missingContainers},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(unknownMessage([&] { testCase.reader(testCase.data); }), testCase.message);
    }
}

TEST(DiskutilParserDocuments, BrokenInputIsADecodingErrorNeverACrash) {
    QByteArray binary(4096, '\0');
    for (int index = 0; index < binary.size(); ++index) {
        binary[index] = static_cast<char>((index * 131 + 7) % 256);
    }
    const QByteArray full = fixture(QStringLiteral("info-external-usb-stick-fat-whole-disk.plist"));
    const std::vector<QByteArray> inputs = {
        QByteArray(),
        QByteArray("Could not find disk: disk9\n"),
        full.left(full.size() / 2),
        binary,
        QByteArray("<plist><dict><key>VolumeName</key><string>a</string></plist>"),
    };
    for (const QByteArray& input : inputs) {
        EXPECT_THROW(DiskutilParser::parseInfoPlist(input), DecodingError);
        EXPECT_THROW(DiskutilParser::parseDiskIdentityPlist(input), DecodingError);
        EXPECT_THROW(DiskutilParser::parseExternalAPFSPhysicalStoreIdentifiers(input), DecodingError);
        EXPECT_THROW(DiskutilParser::parseAPFSVolumes(input), DecodingError);
    }
}

TEST(DiskutilParserDocuments, ReadsAFiveMegabyteDocument) {
    QByteArray data = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
                      "<key>Containers</key><array><dict><key>ContainerReference</key><string>disk9</string>"
                      "<key>Volumes</key><array>\n";
    int count = 0;
    while (data.size() < 5 * 1024 * 1024) {
        data += "<dict><key>APFSVolumeUUID</key><string>UUID-" + QByteArray::number(count) +
                "</string><key>DeviceIdentifier</key><string>disk9s" + QByteArray::number(count) +
                "</string><key>Name</key><string>Volume &amp; &lt;" + QByteArray::number(count) +
                "&gt; with a long name</string><key>Roles</key><array/></dict>\n";
        ++count;
    }
    data += "</array></dict></array>\n</dict>\n</plist>\n";
    const QList<APFSVolumeRecord> records = DiskutilParser::parseAPFSVolumes(data);
    ASSERT_EQ(records.size(), count);
    EXPECT_EQ(records.last().volumeName, QStringLiteral("Volume & <%1> with a long name").arg(count - 1));
}

TEST(DiskutilParserPhysicalStores, WalksNestedPartitionsAndListsEachStoreOnce) {
    const PropertyList nested =
        dictionary({{"Content", "Apple_APFS"},
                    {"DeviceIdentifier", "disk6s1s1"},
                    {QStringLiteral("Partitions"),
                     PropertyList::Array{
                         dictionary({{"Content", "Apple_APFS"}, {"DeviceIdentifier", "disk6s1s1s1"}})}}});
    const QByteArray data = document(
        {{QStringLiteral("AllDisksAndPartitions"),
          PropertyList::Array{
              dictionary({{"Content", "GUID_partition_scheme"},
                          {"DeviceIdentifier", "disk4"},
                          {QStringLiteral("Partitions"),
                           PropertyList::Array{
                               dictionary({{"Content", "EFI"}, {"DeviceIdentifier", "disk4s1"}}),
                               dictionary({{"Content", "Apple_APFS"}, {"DeviceIdentifier", "disk4s2"}}),
                           }}}),
              dictionary({{"Content", "Apple_APFS"}, {"DeviceIdentifier", "disk4s2"}}),
              dictionary({{"Content", "FDisk_partition_scheme"},
                          {"DeviceIdentifier", "disk6"},
                          {QStringLiteral("Partitions"),
                           PropertyList::Array{dictionary({{"Content", "Apple_APFS_Container"},
                                                           {"DeviceIdentifier", "disk6s1"},
                                                           {"Partitions", PropertyList::Array{nested}}})}}}),
              dictionary({{"Content", "Apple_APFS"}}),
              dictionary({{"Content", "apple_apfs"}, {"DeviceIdentifier", "disk7s2"}}),
          }}});
    EXPECT_EQ(
        DiskutilParser::parseExternalAPFSPhysicalStoreIdentifiers(data),
        (QStringList{QStringLiteral("disk4s2"), QStringLiteral("disk6s1s1"), QStringLiteral("disk6s1s1s1")}));
    EXPECT_TRUE(DiskutilParser::parseExternalAPFSPhysicalStoreIdentifiers(
                    document({{"AllDisksAndPartitions", PropertyList::Array{}}}))
                    .isEmpty());
}

TEST(DiskutilParserAPFSVolumes, SkipsIncompleteAndRoleBearingVolumes) {
    const auto volume = [](PropertyList::Dictionary entries) { return dictionary(std::move(entries)); };
    const QByteArray data = document(
        {{QStringLiteral("Containers"),
          PropertyList::Array{
              dictionary(
                  {{"ContainerReference", "disk5"},
                   {QStringLiteral("Volumes"),
                    PropertyList::Array{
                        volume({{"APFSVolumeUUID", "A"}, {"DeviceIdentifier", "disk5s1"}, {"Name", "Media"}}),
                        volume({{"APFSVolumeUUID", "B"},
                                {"DeviceIdentifier", "disk5s2"},
                                {"Name", "Data"},
                                {"Roles", PropertyList::Array{PropertyList("Data")}}}),
                        volume({{"APFSVolumeUUID", "C"},
                                {"DeviceIdentifier", "disk5s3"},
                                {"Name", "Empty roles"},
                                {"Roles", PropertyList::Array{}}}),
                        volume({{"APFSVolumeUUID", "D"},
                                {"DeviceIdentifier", "disk5s4"},
                                {"Name", "Odd roles"},
                                {"Roles", "System"}}),
                        volume({{"DeviceIdentifier", "disk5s5"}, {"Name", "No UUID"}}),
                        volume({{"APFSVolumeUUID", "F"}, {"Name", "No device"}}),
                        volume({{"APFSVolumeUUID", "G"}, {"DeviceIdentifier", "disk5s7"}, {"Name", 7}}),
                    }}}),
              dictionary(
                  {{QStringLiteral("Volumes"), PropertyList::Array{volume({{"APFSVolumeUUID", "H"},
                                                                           {"DeviceIdentifier", "disk8s1"},
                                                                           {"Name", "No container"}})}}}),
              dictionary({{"ContainerReference", "disk9"}, {"Volumes", "none"}}),
          }}});
    EXPECT_EQ(
        DiskutilParser::parseAPFSVolumes(data),
        (QList<APFSVolumeRecord>{
            {QStringLiteral("disk5s1"), QStringLiteral("Media"), QStringLiteral("A"),
             QStringLiteral("disk5")},
            {QStringLiteral("disk5s3"), QStringLiteral("Empty roles"), QStringLiteral("C"),
             QStringLiteral("disk5")},
            {QStringLiteral("disk5s4"), QStringLiteral("Odd roles"), QStringLiteral("D"),
             QStringLiteral("disk5")},
            {QStringLiteral("disk8s1"), QStringLiteral("No container"), QStringLiteral("H"), std::nullopt},
        }));
}
