#include "DiskutilTestSupport.h"
#include "core/support/PropertyListReader.h"
#include "diskutil/DiskDocuments.h"
#include "diskutil/DiskTool.h"
#include "diskutil/PlistWriter.h"
#include "diskutil/SysfsBlockDevices.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <gtest/gtest.h>
#include <map>

// The tool's commands in-process over sysfs trees and udev records of constructed machines, with
// every program it would start scripted.

namespace tarnwell {
namespace {

using testing::diskutilFixture;

// Answers probes from a table of device paths and remembers which devices were read.
struct FixtureProbe : FilesystemProbing {
    std::map<std::string, FilesystemIdentity> identities;
    std::vector<std::string> probed;
    QMutex mutex;

    FilesystemIdentity probe(const std::string& devicePath, bool) override {
        const QMutexLocker lock(&mutex);
        probed.push_back(devicePath);
        return identities.count(devicePath) ? identities.at(devicePath) : FilesystemIdentity{};
    }
};

// Answers every program with the next scripted result (success with no output when none is left),
// recording each call.
struct ScriptedCommands : CommandRunning {
    std::vector<CommandResult> results;
    std::vector<std::vector<std::string>> calls; // program first, then its arguments

    CommandResult run(const std::string& program, const std::vector<std::string>& arguments) override {
        calls.push_back({program});
        calls.back().insert(calls.back().end(), arguments.begin(), arguments.end());
        const CommandResult result = results.empty() ? CommandResult{} : results.front();
        results.erase(results.begin(), results.begin() + (results.empty() ? 0 : 1));
        return result;
    }
};

// Answers every system call with the outcome a row gives, recording each beside the programs.
struct ScriptedDirect : DirectMounting {
    std::vector<std::vector<std::string>>& calls;
    Outcome outcome = Outcome::Declined;

    explicit ScriptedDirect(std::vector<std::vector<std::string>>& recorded)
        : calls(recorded) {}
    Outcome mount(const std::string& device, const std::string& directory, const std::string& type) override {
        calls.push_back({"mount(2)", device, directory, type});
        return outcome;
    }
    Outcome unmount(const std::string& directory, const std::string& type) override {
        calls.push_back({"umount2(2)", directory, type});
        return outcome;
    }
};

// Gives every call to UDisks2 the answer a row gives, recording each beside the programs.
struct ScriptedUDisks : UDisksMounting {
    std::vector<std::vector<std::string>>& calls;
    Answer answer;

    explicit ScriptedUDisks(std::vector<std::vector<std::string>>& recorded)
        : calls(recorded) {}
    Answer mount(const std::string& devicePath) override {
        calls.push_back({"UDisks2", "Mount", devicePath});
        return answer;
    }
    Answer unmount(const std::string& devicePath) override {
        calls.push_back({"UDisks2", "Unmount", devicePath});
        return answer;
    }
};

const QString machines = QStringLiteral(TARNWELL_DISKUTIL_FIXTURES "/machines/");

class DiskToolTests : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_root.isValid());
        // Four loop devices with no udev records; the identities are as blkid read them.
        m_probe.identities = {
            {"/dev/loop0",
             {"ext4", "1.0", "My Disk &<>\u00e9", "9c616c72-770c-40a3-9a07-73691edcb53f", {}, {}}},
            {"/dev/loop1", {"vfat", "FAT16", "FAT LBL", "402B-4653", {}, {}}},
            {"/dev/loop2", {"exfat", "1.0", "ex lbl", "EBB5-F42C", {}, {}}}};
        m_mountInfo = "30 1 7:0 / /tmp/i7probe/m\\040nt\\040\xC3\xA9 rw - ext4 /dev/loop0 rw\n";
    }

    CommandResult run(const std::vector<std::string>& arguments, bool root = true,
                      std::vector<MountHolder> holders = {}, bool noSysfs = false) {
        QFile mountInfo(m_root.filePath("mountinfo"));
        EXPECT_TRUE(mountInfo.open(QIODevice::WriteOnly) &&
                    mountInfo.write(m_mountInfo) == m_mountInfo.size());
        mountInfo.close();
        DiskToolServices services;
        services.commands = &m_commands;
        services.direct = m_direct;
        services.probe = &m_probe;
        services.udisks = m_udisks;
        services.isRoot = root;
        services.mediaRoot = media().toStdString();
        services.registry = registry();
        services.findHolders = [holders](dev_t) { return holders; };
        services.isOnTop = [this](const MountInfo::Mount&) { return !m_covered; };
        services.sysRoot = (noSysfs ? media() + "/no-sys" : machines + "four-loop-devices/sys").toStdString();
        services.udevDataRoot = m_root.filePath("udev").toStdString();
        services.mountInfoPath = mountInfo.fileName().toStdString();
        return DiskTool(std::move(services)).run(arguments);
    }

    QString media() const { return QDir(m_root.path()).canonicalPath() + "/media"; }
    MountRegistry registry() const { return MountRegistry(m_root.filePath("run/created").toStdString()); }
    std::string here(QString text) const { return text.replace("MEDIA", media()).toStdString(); }

    QTemporaryDir m_root;
    ScriptedCommands m_commands;
    DirectMounting* m_direct = nullptr;
    UDisksMounting* m_udisks = nullptr;
    FixtureProbe m_probe;
    QByteArray m_mountInfo;
    bool m_covered = false;
};

// A device name reads that device's superblock and no other.
TEST_F(DiskToolTests, InfoOnADeviceReadsOnlyThatDevice) {
    const CommandResult result = run({"info", "-plist", "loop2"});
    EXPECT_EQ(PropertyListReader::read(QByteArray::fromStdString(result.output)).string("FilesystemName"),
              "ExFAT");
    EXPECT_EQ(m_probe.probed, std::vector<std::string>{"/dev/loop2"});
}

// Commands, each row of the cases file with the volume loop1 ("FAT LBL", 402B-4653) mounted at
// folders below the media root ("MEDIA") as the row says: what the tool prints, which programs it
// runs and system calls it makes, and which folders and records of the folders it made are left.
// Only rows that name an outcome for the system calls, or an answer of UDisks2, let the tool try
// them.
TEST_F(DiskToolTests, MountAndUnmountRunThePlainCommandsAndKeepOnlyTheirOwnFolders) {
    const QJsonArray rows = QJsonDocument::fromJson(diskutilFixture("mount-and-unmount-cases.json")).array();
    ASSERT_FALSE(rows.isEmpty());
    const QByteArray baseMountInfo = m_mountInfo;
    const auto texts = [this](const QJsonValue& value) {
        std::vector<std::string> list;
        for (const QString& text : value.toVariant().toStringList()) {
            list.push_back(here(text));
        }
        return list;
    };
    const auto result = [this](const QJsonValue& value) {
        return CommandResult{value[0].toInt(), here(value[1].toString()), here(value[2].toString())};
    };
    ScriptedDirect direct(m_commands.calls);
    ScriptedUDisks udisks(m_commands.calls);
    using Outcome = UDisksMounting::Answer::Outcome;
    const std::map<QString, DirectMounting::Outcome> outcomes{
        {"done", DirectMounting::Outcome::Done},
        {"busy", DirectMounting::Outcome::Busy},
        {"declined", DirectMounting::Outcome::Declined}};
    for (const QJsonValue& row : rows) {
        SCOPED_TRACE(row["name"].toString().toStdString());
        m_direct = row["direct"].isString() ? &direct : nullptr;
        // "udisks": true mounts and unmounts, an error name and message fail, false is no answer.
        const QJsonValue answer = row["udisks"];
        m_udisks = answer.isUndefined() ? nullptr : &udisks;
        udisks.answer = {answer.isArray()  ? Outcome::Failed
                         : answer.toBool() ? Outcome::Done
                                           : Outcome::Unavailable,
                         answer[0].toString().toStdString(), answer[1].toString().toStdString()};
        direct.outcome = outcomes.at(row["direct"].toString("declined"));
        m_covered = row["covered"].toBool();
        m_commands.calls.clear();
        m_commands.results.clear();
        m_mountInfo = baseMountInfo;
        for (const std::string& folder : texts(row["mounted"])) {
            ASSERT_TRUE(QDir().mkpath(media() + "/" + QString::fromStdString(folder)));
            m_mountInfo += "31 1 7:1 / " + media().toUtf8() + "/" + QByteArray::fromStdString(folder) +
                           " rw - vfat /dev/loop1 rw\n";
        }
        for (const std::string& folder : texts(row["recorded"])) {
            registry().add(media().toStdString() + "/" + folder);
        }
        for (const QJsonValue& scripted : row["results"].toArray()) {
            m_commands.results.push_back(result(scripted));
        }
        std::vector<MountHolder> holders;
        for (const QJsonValue& holder : row["holders"].toArray()) {
            holders.push_back({holder[0].toInteger(), holder[1].toString().toStdString()});
        }
        EXPECT_EQ(run(texts(row["arguments"]), row["root"].toBool(true), holders, row["noSysfs"].toBool()),
                  result(row["expected"]));
        std::vector<std::vector<std::string>> calls;
        for (const QJsonValue& call : row["calls"].toArray()) {
            calls.push_back(texts(call));
        }
        EXPECT_EQ(m_commands.calls, calls);
        EXPECT_EQ(QDir(media()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  row["foldersAfter"].toVariant().toStringList());
        QFile record(m_root.filePath("run/created"));
        const QString lines =
            record.open(QIODevice::ReadOnly) ? QString::fromUtf8(record.readAll()) : QString();
        std::vector<std::string> recorded;
        for (const std::string folder : {"FAT LBL", "Shoot", "First", "Second"}) {
            // A line whose folder is gone goes with the record's next change.
            const QString path = media() + "/" + QString::fromStdString(folder);
            if (lines.contains(" " + path + "\n") && QFileInfo::exists(path)) {
                recorded.push_back(folder);
            }
        }
        EXPECT_EQ(recorded, texts(row["recordedAfter"]));
        record.remove();
        QDir(media()).removeRecursively();
    }
}

// Every document of every device of each constructed machine, compared with the checked-in
// expectation; the mount points come from the kernel's table. The machines' sysfs trees and udev
// records are read as the tool reads the real ones.
TEST(DiskDocumentsTests, MachinesGiveTheExpectedDocuments) {
    const auto mounts = MountInfo::parse(diskutilFixture("constructed.mountinfo").toStdString());
    PlistValue::Dictionary documents;
    for (const QString& machine : QDir(machines).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        BlockDeviceTable table(
            SysfsBlockDevices::read((machines + machine + "/sys").toStdString(),
                                    (machines + machine + "/run/udev/data").toStdString()));
        table.useMounts(mounts);
        PlistValue::Dictionary infos;
        for (const BlockDevice& device : table.devices()) {
            infos.emplace_back(device.name, DiskDocuments::info(table, device));
        }
        documents.emplace_back(
            machine.toStdString(),
            PlistValue::Dictionary{{"info", std::move(infos)},
                                   {"list external physical", DiskDocuments::externalPhysicalList(table)}});
    }
    const QByteArray actual = QByteArray::fromStdString(PlistWriter::write(std::move(documents)));
    if (actual != diskutilFixture("machine-documents.plist")) {
        QFile file(QDir::temp().filePath("machine-documents.actual.plist"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(actual) == actual.size());
        ADD_FAILURE() << "documents differ from the expectation; see " << file.fileName().toStdString();
    }
}

} // namespace
} // namespace tarnwell
