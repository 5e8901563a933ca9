#include "core/disk/DiskutilParser.h"
#include "core/model/TarnwellError.h"
#include "core/support/DecodingError.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <functional>
#include <gtest/gtest.h>

using namespace tarnwell;

namespace {

const QString fixtures = QStringLiteral(TARNWELL_DISKUTIL_FIXTURES);

void put(QJsonObject& object, const char* key, const std::optional<QString>& value) {
    if (value) {
        object.insert(QLatin1String(key), *value);
    }
}

// What one reader makes of a document: the record it read, "error: " and the message of a document
// of the wrong shape, or "unreadable" for one that is no property list.
QJsonValue outcome(const std::function<QJsonValue()>& read) {
    try {
        return read();
    } catch (const TarnwellError& error) {
        return QStringLiteral("error: ") + error.userMessage();
    } catch (const DecodingError&) {
        return QStringLiteral("unreadable");
    }
}

QJsonObject readAll(const QByteArray& data) {
    QJsonObject result;
    result.insert("info", outcome([&] {
                      const DriveInfo info = DiskutilParser::parseInfoPlist(data);
                      QJsonObject object{{"volumeName", info.volumeName},
                                         {"volumeUUID", info.volumeUUID},
                                         {"isExternal", info.isExternal},
                                         {"isMounted", info.isMounted}};
                      put(object, "diskIdentifier", info.diskIdentifier);
                      put(object, "fileSystem", info.fileSystem);
                      put(object, "mountPoint", info.mountPoint);
                      put(object, "busProtocol", info.busProtocol);
                      return object;
                  }));
    result.insert("identity", outcome([&] {
                      const DiskIdentity identity = DiskutilParser::parseDiskIdentityPlist(data);
                      QJsonObject object{{"isExternal", identity.isExternal}};
                      put(object, "diskIdentifier", identity.diskIdentifier);
                      put(object, "apfsContainerIdentifier", identity.apfsContainerIdentifier);
                      put(object, "busProtocol", identity.busProtocol);
                      return object;
                  }));
    result.insert("stores", outcome([&] {
                      return QJsonArray::fromStringList(
                          DiskutilParser::parseExternalAPFSPhysicalStoreIdentifiers(data));
                  }));
    result.insert("apfs", outcome([&] {
                      QJsonArray volumes;
                      for (const APFSVolumeRecord& record : DiskutilParser::parseAPFSVolumes(data)) {
                          QJsonObject object{{"deviceIdentifier", record.deviceIdentifier},
                                             {"volumeName", record.volumeName},
                                             {"volumeUUID", record.volumeUUID}};
                          put(object, "containerIdentifier", record.containerIdentifier);
                          volumes.append(object);
                      }
                      return volumes;
                  }));
    return result;
}

} // namespace

// Replays every captured output of the real tool and every constructed or broken sample through
// all four readers and compares what each made of it with the checked-in expectations.
TEST(DiskutilParser, EveryDocumentReadsAsExpectedByEveryReader) {
    QFile file(fixtures + "/parser-expectations.json");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QJsonObject expectations = QJsonDocument::fromJson(file.readAll()).object();
    QDirIterator documents(fixtures, {"*.plist", "*.bin"}, QDir::Files, QDirIterator::Subdirectories);
    while (documents.hasNext()) {
        const QString path = documents.next();
        const QString name = QDir(fixtures).relativeFilePath(path);
        QFile document(path);
        ASSERT_TRUE(document.open(QIODevice::ReadOnly));
        const QJsonObject actual = readAll(document.readAll());
        EXPECT_EQ(actual, expectations.take(name).toObject()) << name.toStdString() << " reads as\n"
                                                              << QJsonDocument(actual).toJson().toStdString();
    }
    EXPECT_TRUE(expectations.isEmpty())
        << "missing documents: " << expectations.keys().join(' ').toStdString();
}
