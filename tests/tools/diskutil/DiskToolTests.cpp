#include "DiskutilTestSupport.h"
#include "core/support/DecodingError.h"
#include "core/support/PropertyListReader.h"
#include "core/support/PropertyListWriter.h"
#include "diskutil/DiskDocuments.h"
#include "diskutil/DiskTool.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <gtest/gtest.h>

// The tool's commands in-process over captured and constructed lsblk output, with every program
// it would start scripted.

namespace tarnwell {
namespace {

using testing::diskutilFixture;

// Answers probes from a table of device paths and remembers which devices were read.
struct FixtureProbe : FilesystemProbing {
    QHash<QString, FilesystemIdentity> identities;
    QStringList probed;
    QMutex mutex;

    FilesystemIdentity probe(const QString& devicePath) override {
        const QMutexLocker lock(&mutex);
        probed.append(devicePath);
        return identities.value(devicePath);
    }
};

// Prints a fixed lsblk document and answers every other program with the next scripted result
// (success with no output when none is left), recording each call other than lsblk's.
struct ScriptedCommands : CommandRunning {
    QByteArray lsblkOutput;
    int lsblkExitCode = 0;
    QList<CommandResult> results;
    QList<QStringList> calls; // program first, then its arguments

    CommandResult run(const QString& program, const QStringList& arguments) override {
        if (program == QLatin1String("lsblk")) {
            return {lsblkExitCode, lsblkOutput, lsblkExitCode == 0 ? QByteArray() : "lsblk: broken\n"};
        }
        calls.append(QStringList{program} + arguments);
        return results.isEmpty() ? CommandResult{} : results.takeFirst();
    }
};

class DiskToolTests : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_root.isValid());
        m_commands.lsblkOutput = diskutilFixture("lsblk-four-loop-devices.json");
        // As blkid read them from the captured loop devices.
        m_probe.identities = {
            {"/dev/loop0", {"ext4", "1.0", "My Disk &<>\u00e9", "9c616c72-770c-40a3-9a07-73691edcb53f"}},
            {"/dev/loop1", {"vfat", "FAT16", "FAT LBL", "402B-4653"}},
            {"/dev/loop2", {"exfat", "1.0", "ex lbl", "EBB5-F42C"}}};
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

    QTemporaryDir m_root;
    ScriptedCommands m_commands;
    FixtureProbe m_probe;
    QByteArray m_mountInfo;
};

// A device name reads that device's superblock and no other.
TEST_F(DiskToolTests, InfoOnADeviceReadsOnlyThatDevice) {
    EXPECT_EQ(PropertyListReader::read(run({"info", "-plist", "loop2"}).output).string("FilesystemName"),
              "ExFAT");
    EXPECT_EQ(m_probe.probed, QStringList{"/dev/loop2"});
}

// Commands, each row of the cases file with the volume loop1 ("FAT LBL", 402B-4653) mounted at
// folders below the media root ("MEDIA") as the row says: what the tool prints, which programs it
// runs, and which folders and records of the folders it made are left.
TEST_F(DiskToolTests, MountAndUnmountRunThePlainCommandsAndKeepOnlyTheirOwnFolders) {
    const QJsonArray rows = QJsonDocument::fromJson(diskutilFixture("mount-and-unmount-cases.json")).array();
    ASSERT_FALSE(rows.isEmpty());
    const QByteArray baseMountInfo = m_mountInfo;
    const auto texts = [this](const QJsonValue& value) {
        QStringList list = value.toVariant().toStringList();
        std::transform(list.begin(), list.end(), list.begin(),
                       [this](const QString& text) { return here(text); });
        return list;
    };
    const auto result = [this](const QJsonValue& value) {
        return CommandResult{value[0].toInt(), here(value[1].toString()).toUtf8(),
                             here(value[2].toString()).toUtf8()};
    };
    for (const QJsonValue& row : rows) {
        SCOPED_TRACE(row["name"].toString().toStdString());
        m_commands.calls.clear();
        m_commands.results.clear();
        m_commands.lsblkExitCode = row["lsblkFails"].toBool() ? 1 : 0;
        m_mountInfo = baseMountInfo;
        for (const QString& folder : texts(row["mounted"])) {
            ASSERT_TRUE(QDir().mkpath(media() + "/" + folder));
            m_mountInfo +=
                QStringLiteral("31 1 7:1 / %1/%2 rw - vfat /dev/loop1 rw\n").arg(media(), folder).toUtf8();
        }
        for (const QString& folder : texts(row["recorded"])) {
            registry().add(media() + "/" + folder);
        }
        for (const QJsonValue& scripted : row["results"].toArray()) {
            m_commands.results.append(result(scripted));
        }
        QList<MountHolder> holders;
        for (const QJsonValue& holder : row["holders"].toArray()) {
            holders.append({holder[0].toInteger(), holder[1].toString()});
        }
        EXPECT_EQ(run(texts(row["arguments"]), row["root"].toBool(true), row["udisks"].toBool(), holders),
                  result(row["expected"]));
        QList<QStringList> calls;
        for (const QJsonValue& call : row["calls"].toArray()) {
            calls.append(texts(call));
        }
        EXPECT_EQ(m_commands.calls, calls);
        EXPECT_EQ(QDir(media()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  texts(row["foldersAfter"]));
        QStringList recorded;
        for (const QString folder : {"FAT LBL", "Shoot", "First", "Second"}) {
            if (registry().take(media() + "/" + folder)) {
                recorded.append(folder);
            }
        }
        EXPECT_EQ(recorded, texts(row["recordedAfter"]));
        QDir(media()).removeRecursively();
    }
}

// Every document of every device of each lsblk sample, compared with the checked-in expectation;
// the mount points come from the kernel's table, not from lsblk. Malformed samples, shared with the
// fuzzing corpus, must be refused rather than described as an empty machine.
TEST(DiskDocumentsTests, LsblkSamplesGiveTheExpectedDocuments) {
    const auto mounts = MountTable::parse(diskutilFixture("constructed.mountinfo"));
    QStringList samples;
    for (QDirIterator found(TARNWELL_DISKUTIL_FIXTURES, {"lsblk-*.json"}, QDir::Files,
                            QDirIterator::Subdirectories);
         found.hasNext();) {
        samples.append(QDir(TARNWELL_DISKUTIL_FIXTURES).relativeFilePath(found.next()));
    }
    samples.sort();
    PropertyList::Dictionary machines;
    for (const QString& sample : samples) {
        try {
            BlockDeviceTable table = BlockDeviceTable::fromLsblkJson(diskutilFixture(sample));
            table.useMounts(mounts);
            PropertyList::Dictionary infos;
            for (const BlockDevice& device : table.devices()) {
                infos.emplace_back(device.name, DiskDocuments::info(table, device));
            }
            machines.emplace_back(sample,
                                  PropertyList::Dictionary{{"info", PropertyList(std::move(infos))},
                                                           {"list external physical",
                                                            DiskDocuments::externalPhysicalList(table)}});
        } catch (const DecodingError& error) {
            machines.emplace_back(sample, "refused: " + error.userMessage());
        }
    }
    const QByteArray actual = PropertyListWriter::write(PropertyList(std::move(machines)));
    if (actual != diskutilFixture("lsblk-documents.plist")) {
        QFile file(QDir::temp().filePath("lsblk-documents.actual.plist"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(actual) == actual.size());
        ADD_FAILURE() << "documents differ from the expectation; see " << file.fileName().toStdString();
    }
}

} // namespace
} // namespace tarnwell
