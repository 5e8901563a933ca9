#include "DiskutilTestSupport.h"

#include <QFile>
#include <stdexcept>

namespace tarnwell::testing {

QByteArray diskutilFixture(const QString& name) {
    QFile file(QStringLiteral(TARNWELL_DISKUTIL_FIXTURES "/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("missing fixture " + name.toStdString());
    }
    return file.readAll();
}

namespace {

QByteArray decodeUdevEscapes(const QByteArray& encoded) {
    QByteArray decoded;
    for (qsizetype index = 0; index < encoded.size(); ++index) {
        if (encoded.at(index) == '\\' && index + 3 < encoded.size() && encoded.at(index + 1) == 'x') {
            decoded.append(static_cast<char>(encoded.mid(index + 2, 2).toInt(nullptr, 16)));
            index += 3;
        } else {
            decoded.append(encoded.at(index));
        }
    }
    return decoded;
}

} // namespace

FilesystemIdentity identityFromBlkidUdev(const QByteArray& output) {
    FilesystemIdentity identity;
    for (const QByteArray& line : output.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        const QByteArray key = line.left(equals);
        const QByteArray value = line.mid(equals + 1);
        if (key == "ID_FS_TYPE") {
            identity.type = QString::fromUtf8(value);
        } else if (key == "ID_FS_VERSION") {
            identity.version = QString::fromUtf8(value);
        } else if (key == "ID_FS_LABEL_ENC") {
            identity.label = QString::fromUtf8(decodeUdevEscapes(value));
        } else if (key == "ID_FS_UUID") {
            identity.uuid = QString::fromUtf8(value);
        }
    }
    return identity;
}

FilesystemIdentity FixtureProbe::probe(const QString& devicePath) {
    const QMutexLocker lock(&mutex);
    probed.append(devicePath);
    return identities.value(devicePath);
}

CommandResult ScriptedCommands::run(const QString& program, const QStringList& arguments) {
    calls.append({program, arguments});
    if (program == QLatin1String("lsblk")) {
        return {lsblkExitCode, lsblkOutput,
                lsblkExitCode == 0 ? QByteArray() : QByteArray("lsblk: broken\n")};
    }
    return results.isEmpty() ? CommandResult{} : results.takeFirst();
}

QList<QPair<QString, QStringList>> ScriptedCommands::callsOtherThanLsblk() const {
    QList<QPair<QString, QStringList>> others;
    for (const auto& call : calls) {
        if (call.first != QLatin1String("lsblk")) {
            others.append(call);
        }
    }
    return others;
}

} // namespace tarnwell::testing
