#include "core/support/DecodingError.h"
#include "core/support/PropertyListReader.h"
#include "core/support/PropertyListWriter.h"
#include "support/QtPrinters.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace tarnwell;

// Malformed and hostile documents are in the disk-tool corpus of the fuzzing harnesses; these tests
// check what is read from well-formed ones.
TEST(PropertyListReader, ReadsEveryValueKindWithEntitiesAndLooseFormatting) {
    QFile file(QStringLiteral(TARNWELL_FUZZ_CORPUS "/diskutil-plist/accept-every-value-kind.plist"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const PropertyList value = PropertyListReader::read(file.readAll());
    EXPECT_EQ(value.string(QStringLiteral("name")), QStringLiteral("Tom & Jerry <AB> \"q\" 's'"));
    EXPECT_EQ(value.integer(QStringLiteral("big")), std::numeric_limits<qint64>::min());
    EXPECT_EQ(value.integer(QStringLiteral("hex")), 31);
    EXPECT_EQ(value.value(QStringLiteral("ratio"))->real(), 2.5);
    EXPECT_EQ(value.boolean(QStringLiteral("yes")), true);
    EXPECT_EQ(value.boolean(QStringLiteral("no")), false);
    EXPECT_EQ(value.value(QStringLiteral("when"))->date(),
              QDateTime(QDate(2024, 3, 1), QTime(10, 20, 30), Qt::UTC));
    EXPECT_EQ(value.value(QStringLiteral("blob"))->data(), QByteArray("hello"));
    ASSERT_NE(value.array(QStringLiteral("list")), nullptr);
    EXPECT_EQ(value.array(QStringLiteral("list"))->size(), 3u);
    EXPECT_EQ(value.dictionary(QStringLiteral("empty"))->size(), 0u);
    EXPECT_EQ(value.string(QStringLiteral("big")), std::nullopt); // type queries are strict
}

TEST(PropertyListReader, AnErrorNamesLineAndColumn) {
    try {
        PropertyListReader::read("<plist>\n<dict>\n<key>a</key>\n<string>x</dict></plist>");
        ADD_FAILURE() << "read a malformed document";
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.path(), QStringLiteral("line 4, column 16"));
    }
}

TEST(PropertyListWriter, OutputReadsBackToTheSameTreeWithWhatXmlCannotCarryReplaced) {
    const PropertyList original(PropertyList::Dictionary{
        {QStringLiteral("VolumeName"),
         PropertyList(QString::fromUtf8("Caf\xC3\xA9 & <Rushes> \"A\" 'B' \xF0\x9F\x8E\xAC"))},
        {QStringLiteral("Size"), PropertyList(qint64{9007199254740993})},
        {QStringLiteral("Internal"), PropertyList(false)},
        {QStringLiteral("Blob"), PropertyList(QByteArray("\x00\x01\x02", 3))},
        {QStringLiteral("Partitions"),
         PropertyList(PropertyList::Array{PropertyList(QStringLiteral("a")), PropertyList(1.25)})},
    });
    EXPECT_EQ(PropertyListReader::read(PropertyListWriter::write(original)), original);

    const QString label =
        QStringLiteral("bad") + QChar(0x01) + QChar(0x1B) + QStringLiteral("label") + QChar(0xD800);
    EXPECT_EQ(PropertyListReader::read(PropertyListWriter::write(PropertyList(label))).string(),
              QStringLiteral("bad\uFFFD\uFFFDlabel\uFFFD"));
}
