#include "core/support/DecodingError.h"
#include "core/support/PropertyListReader.h"
#include "core/support/PropertyListWriter.h"

#include <QFile>
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace tarnwell;

namespace {

QByteArray plist(const char* body)
{
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">") + body + "</plist>";
}

// Returns the error's location text, or fails the test when reading succeeds.
QString readFailure(const QByteArray& xml)
{
    try {
        PropertyListReader::read(xml);
    } catch (const DecodingError& error) {
        return error.path();
    }
    ADD_FAILURE() << "reading did not fail: " << xml.left(200).toStdString();
    return {};
}

} // namespace

TEST(PropertyListReader, ReadsARealDiskToolDocument)
{
    QFile file(QStringLiteral(TARNWELL_SUPPORT_FIXTURES "/info-external-usb-stick-fat-whole-disk.plist"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const PropertyList info = PropertyListReader::read(file.readAll());
    EXPECT_EQ(info.string(QStringLiteral("VolumeName")), QStringLiteral("NO NAME"));
    EXPECT_EQ(info.string(QStringLiteral("MountPoint")), QStringLiteral("/Volumes/NO NAME"));
    EXPECT_EQ(info.integer(QStringLiteral("TotalSize")), qint64{15665463296});
    EXPECT_EQ(info.string(QStringLiteral("VolumeUUID")), QStringLiteral("82533DEE-A3AC-3770-BB9B-9298931A927B"));
}

TEST(PropertyListReader, ReadsEveryValueKindWithEntitiesAndLooseFormatting)
{
    const PropertyList value = PropertyListReader::read(plist(R"(
        <dict>
          <key>name</key>   <string>Tom &amp; Jerry &lt;&#x41;&#66;&gt; &quot;q&quot; &apos;s&apos;</string>
          <key>big</key><integer> -9223372036854775808 </integer>
          <key>hex</key><integer>0x1F</integer>
          <key>ratio</key><real>2.5</real>
          <key>yes</key><true />
          <key>no</key><false/>
          <key>when</key><date>2024-03-01T10:20:30Z</date>
          <key>blob</key><data>
             aGVs
             bG8=
          </data>
          <key>list</key><array><string/><integer>1</integer><array/></array>
          <key>empty</key><dict/>
        </dict>)"));
    EXPECT_EQ(value.string(QStringLiteral("name")), QStringLiteral("Tom & Jerry <AB> \"q\" 's'"));
    EXPECT_EQ(value.integer(QStringLiteral("big")), std::numeric_limits<qint64>::min());
    EXPECT_EQ(value.integer(QStringLiteral("hex")), 31);
    EXPECT_EQ(value.value(QStringLiteral("ratio"))->real(), 2.5);
    EXPECT_EQ(value.boolean(QStringLiteral("yes")), true);
    EXPECT_EQ(value.boolean(QStringLiteral("no")), false);
    EXPECT_EQ(value.value(QStringLiteral("when"))->date(), QDateTime(QDate(2024, 3, 1), QTime(10, 20, 30), Qt::UTC));
    EXPECT_EQ(value.value(QStringLiteral("blob"))->data(), QByteArray("hello"));
    ASSERT_NE(value.array(QStringLiteral("list")), nullptr);
    EXPECT_EQ(value.array(QStringLiteral("list"))->size(), 3u);
    EXPECT_EQ(value.dictionary(QStringLiteral("empty"))->size(), 0u);
}

TEST(PropertyListReader, TypeQueriesAreStrict)
{
    const PropertyList value = PropertyListReader::read(plist("<dict><key>n</key><integer>5</integer></dict>"));
    EXPECT_EQ(value.string(QStringLiteral("n")), std::nullopt);
    EXPECT_EQ(value.boolean(QStringLiteral("n")), std::nullopt);
    EXPECT_EQ(value.integer(QStringLiteral("missing")), std::nullopt);
    EXPECT_EQ(value.value(QStringLiteral("n"))->value(QStringLiteral("x")), nullptr);
}

TEST(PropertyListReader, MalformedInputNamesLineAndColumn)
{
    EXPECT_EQ(readFailure("<plist>\n<dict>\n<key>a</key>\n<string>x</dict></plist>"), QStringLiteral("line 4, column 16"));
    EXPECT_FALSE(readFailure("").isEmpty());
    EXPECT_FALSE(readFailure("not xml at all").isEmpty());
    EXPECT_FALSE(readFailure(plist("<dict><key>a</key></dict>")).isEmpty());
    EXPECT_FALSE(readFailure(plist("<dict><string>a</string></dict>")).isEmpty());
    EXPECT_FALSE(readFailure(plist("<integer>12x</integer>")).isEmpty());
    EXPECT_FALSE(readFailure(plist("<integer>99999999999999999999</integer>")).isEmpty());
    EXPECT_FALSE(readFailure(plist("<true>yes</true>")).isEmpty());
    EXPECT_FALSE(readFailure(plist("<data>***</data>")).isEmpty());
    EXPECT_FALSE(readFailure(plist("<date>yesterday</date>")).isEmpty());
    EXPECT_FALSE(readFailure(plist("<string>&unknown;</string>")).isEmpty());
    EXPECT_FALSE(readFailure(plist("<widget/>")).isEmpty());
    EXPECT_FALSE(readFailure(plist("<string>a</string><string>b</string>")).isEmpty());
    EXPECT_FALSE(readFailure(plist("<dict><key>a</key><string>truncated")).isEmpty());
    EXPECT_FALSE(readFailure(QByteArray("\x00\x01\xff\xfe binary", 12)).isEmpty());
}

TEST(PropertyListReader, RefusesDeepNestingWithoutExhaustingTheStack)
{
    const int depth = 10000;
    QByteArray xml = "<plist>";
    for (int level = 0; level < depth; ++level) {
        xml += "<array>";
    }
    for (int level = 0; level < depth; ++level) {
        xml += "</array>";
    }
    xml += "</plist>";
    EXPECT_FALSE(readFailure(xml).isEmpty());
}

TEST(PropertyListWriter, OutputAlwaysReadsBackToTheSameTree)
{
    const PropertyList original(PropertyList::Dictionary{
        {QStringLiteral("VolumeName"), PropertyList(QString::fromUtf8("Caf\xC3\xA9 & <Rushes> \"A\" 'B' \xF0\x9F\x8E\xAC"))},
        {QStringLiteral("Size"), PropertyList(qint64{9007199254740993})},
        {QStringLiteral("Internal"), PropertyList(false)},
        {QStringLiteral("Blob"), PropertyList(QByteArray("\x00\x01\x02", 3))},
        {QStringLiteral("Partitions"),
         PropertyList(PropertyList::Array{PropertyList(QStringLiteral("a")), PropertyList(1.25)})},
    });
    EXPECT_EQ(PropertyListReader::read(PropertyListWriter::write(original)), original);
}

TEST(PropertyListWriter, ReplacesCharactersThatXmlCannotCarry)
{
    const QString label = QStringLiteral("bad") + QChar(0x01) + QChar(0x1B) + QStringLiteral("label") + QChar(0xD800);
    const PropertyList read = PropertyListReader::read(PropertyListWriter::write(PropertyList(label)));
    EXPECT_EQ(read.string(), QStringLiteral("bad\uFFFD\uFFFDlabel\uFFFD"));
}
