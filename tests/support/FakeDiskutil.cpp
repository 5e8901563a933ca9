// tarnwell-fake-diskutil: answers Tarnwell's disk-tool command lines with the real tool's property
// lists and messages from a JSON state file named by TARNWELL_FAKE_DISKUTIL_STATE. Every run appends
// its arguments to "invocations" and writes the state back with what a mount or unmount changed.
//   "disks": [{"deviceIdentifier", "internal" (default true), "busProtocol", "content",
//              "partitions": [{"deviceIdentifier", "content", "apfsContainer", "partitions", VOLUME}],
//              VOLUME}]   VOLUME: "volumeName", "volumeUUID", "filesystemName", "mountPoint" ("": not
//              mounted), "mountPath" (default /Volumes/NAME), "busy", "busyProcess" ("412 (mds)")
//   "containers": [{"containerReference", "physicalStore", "volumes": [{"deviceIdentifier", "name",
//                   "uuid", "roles", VOLUME}]}]
//   "failures": [{"command", "target" (last argument), "ignoreTermination", "sleepSeconds",
//                 "garbage", "exitCode", "stdout", "stderr"}]: the first match misbehaves so

#include "core/support/PropertyList.h"
#include "core/support/PropertyListWriter.h"
#include "support/StateFileLock.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStringList>
#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <thread>

using tarnwell::PropertyList;

namespace {

enum class Kind { Disk, Partition, Container, Volume };

// Where a node of the state sits: its kind, the physical disk it lives on and its APFS container.
struct Place {
    Kind kind;
    QJsonObject disk;
    QString container;
};

using Visit = std::function<bool(QJsonObject& node, const Place& place)>;

QString text(const QJsonObject& object, const char* key) {
    return object.value(QLatin1String(key)).toString();
}

void print(FILE* stream, const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

int answer(const QString& output, const QString& error = {}, int status = 0) {
    print(stdout, output.isEmpty() ? QByteArray() : output.toUtf8() + '\n');
    print(stderr, error.isEmpty() ? QByteArray() : error.toUtf8() + '\n');
    return status;
}

// Dictionaries are written with sorted keys, as the real tool does.
int printDocument(std::map<QString, PropertyList> entries) {
    PropertyList::Dictionary sorted(entries.begin(), entries.end());
    print(stdout, tarnwell::PropertyListWriter::write(PropertyList(std::move(sorted))));
    return 0;
}

bool visitPartitions(QJsonObject& parent, const Place& disk, const Visit& visit) {
    if (!parent.contains("partitions")) {
        return false;
    }
    QJsonArray partitions = parent.value("partitions").toArray();
    bool stop = false;
    for (qsizetype index = 0; index < partitions.size() && !stop; ++index) {
        QJsonObject partition = partitions.at(index).toObject();
        stop = visit(partition, {Kind::Partition, disk.disk, text(partition, "apfsContainer")}) ||
               visitPartitions(partition, disk, visit);
        partitions[index] = partition;
    }
    parent["partitions"] = partitions;
    return stop;
}

// Visits disks with their partitions, then containers with their volumes, in state order, and keeps
// what the visitor changes; stops once it returns true.
bool visitAll(QJsonObject& state, const Visit& visit) {
    QHash<QString, QJsonObject> storeDisks;
    QJsonArray disks = state.value("disks").toArray();
    bool stop = false;
    for (qsizetype index = 0; index < disks.size() && !stop; ++index) {
        QJsonObject disk = disks.at(index).toObject();
        const Place place{Kind::Disk, disk, text(disk, "apfsContainer")};
        visitPartitions(disk, place, [&](QJsonObject& node, const Place& where) {
            storeDisks.insert(text(node, "deviceIdentifier"), where.disk);
            return false;
        });
        stop = visit(disk, place) || visitPartitions(disk, place, visit);
        disks[index] = disk;
    }
    state["disks"] = disks;
    QJsonArray containers = state.value("containers").toArray();
    for (qsizetype index = 0; index < containers.size() && !stop; ++index) {
        QJsonObject container = containers.at(index).toObject();
        const Place place{Kind::Container, storeDisks.value(text(container, "physicalStore")),
                          text(container, "containerReference")};
        QJsonArray volumes = container.value("volumes").toArray();
        stop = visit(container, place);
        for (qsizetype volume = 0; volume < volumes.size() && !stop; ++volume) {
            QJsonObject node = volumes.at(volume).toObject();
            stop = visit(node, {Kind::Volume, place.disk, place.container});
            volumes[volume] = node;
        }
        container["volumes"] = volumes;
        containers[index] = container;
    }
    if (state.contains("containers")) {
        state["containers"] = containers;
    }
    return stop;
}

QString device(const QJsonObject& node, const Place& place) {
    return place.kind == Kind::Container ? place.container : text(node, "deviceIdentifier");
}
QString name(const QJsonObject& node, const Place& place) {
    return text(node, place.kind == Kind::Volume ? "name" : "volumeName");
}
QString uuid(const QJsonObject& node, const Place& place) {
    return text(node, place.kind == Kind::Volume ? "uuid" : "volumeUUID");
}

// Acts on the node TARGET names: a device identifier with or without "/dev/", a volume UUID in any
// case or a mount point. Unknown targets get the real tool's answer.
int onTarget(QJsonObject& state, const QString& target,
             const std::function<int(QJsonObject&, const Place&)>& act) {
    const QString wanted = target.startsWith("/dev/") ? target.mid(5) : target;
    int status = -1;
    visitAll(state, [&](QJsonObject& node, const Place& place) {
        const QString id = uuid(node, place);
        const QString mountPoint = text(node, "mountPoint");
        if (device(node, place) == wanted ||
            (!id.isEmpty() && id.compare(target, Qt::CaseInsensitive) == 0) ||
            (!mountPoint.isEmpty() && mountPoint == target)) {
            status = act(node, place);
            return true;
        }
        return false;
    });
    if (status >= 0) {
        return status;
    }
    return answer({}, "Could not find disk: " + target, 1);
}

int info(const QJsonObject& node, const Place& place) {
    std::map<QString, PropertyList> entries = {{"DeviceIdentifier", device(node, place)},
                                               {"Internal", place.disk.value("internal").toBool(true)},
                                               {"VolumeName", name(node, place)},
                                               {"MountPoint", text(node, "mountPoint")},
                                               {"Content", text(node, "content")}};
    if (place.disk.contains("busProtocol")) {
        entries["BusProtocol"] = text(place.disk, "busProtocol");
    }
    if (place.kind == Kind::Volume || node.contains("volumeUUID")) {
        entries["VolumeUUID"] = uuid(node, place);
        const QString fileSystem = text(node, "filesystemName");
        entries["FilesystemName"] = fileSystem.isEmpty() && place.kind == Kind::Volume ? "APFS" : fileSystem;
    }
    if (!place.container.isEmpty()) {
        entries["APFSContainerReference"] = place.container;
    }
    return printDocument(std::move(entries));
}

PropertyList listEntry(const QJsonObject& object) {
    PropertyList::Dictionary entry = {{"Content", text(object, "content")},
                                      {"DeviceIdentifier", text(object, "deviceIdentifier")}};
    if (!text(object, "mountPoint").isEmpty()) {
        entry.emplace_back("MountPoint", text(object, "mountPoint"));
    }
    PropertyList::Array partitions;
    for (const QJsonValue& partition : object.value("partitions").toArray()) {
        partitions.push_back(listEntry(partition.toObject()));
    }
    if (!partitions.empty()) {
        entry.emplace_back("Partitions", std::move(partitions));
    }
    if (object.contains("volumeUUID")) {
        entry.emplace_back("VolumeName", text(object, "volumeName"));
        entry.emplace_back("VolumeUUID", text(object, "volumeUUID"));
    }
    return PropertyList(std::move(entry));
}

int listExternalPhysical(const QJsonObject& state) {
    PropertyList::Array disks;
    for (const QJsonValue& value : state.value("disks").toArray()) {
        const QJsonObject disk = value.toObject();
        if (!disk.value("internal").toBool(true) && text(disk, "busProtocol") != "Disk Image") {
            disks.push_back(listEntry(disk));
        }
    }
    return printDocument({{"AllDisksAndPartitions", PropertyList(std::move(disks))}});
}

int apfsList(const QJsonObject& state, const QString& reference) {
    for (const QJsonValue& value : state.value("containers").toArray()) {
        if (text(value.toObject(), "containerReference") != reference) {
            continue;
        }
        PropertyList::Array volumes;
        for (const QJsonValue& volume : value.toObject().value("volumes").toArray()) {
            PropertyList::Array roles;
            for (const QJsonValue& role : volume.toObject().value("roles").toArray()) {
                roles.emplace_back(role.toString());
            }
            volumes.emplace_back(
                PropertyList::Dictionary{{"APFSVolumeUUID", text(volume.toObject(), "uuid")},
                                         {"DeviceIdentifier", text(volume.toObject(), "deviceIdentifier")},
                                         {"Name", text(volume.toObject(), "name")},
                                         {"Roles", PropertyList(std::move(roles))}});
        }
        PropertyList container(PropertyList::Dictionary{{"ContainerReference", reference},
                                                        {"Volumes", PropertyList(std::move(volumes))}});
        return printDocument({{"Containers", PropertyList(PropertyList::Array{std::move(container)})}});
    }
    return answer({}, "Could not find disk: " + reference, 1);
}

// Mounts or unmounts the volume TARGET names, with the real tool's messages.
int mountOrUnmount(QJsonObject& state, bool mount, const QString& target) {
    return onTarget(state, target, [mount](QJsonObject& node, const Place& place) {
        const QString volume = "Volume " + name(node, place) + " on " + device(node, place);
        const bool mounted = !text(node, "mountPoint").isEmpty();
        if (mount && place.kind != Kind::Volume && !node.contains("volumeUUID")) {
            return answer({}, volume + " failed to mount: not a mountable file system", 1);
        }
        if (!mount && !mounted) {
            return answer({}, volume + " failed to unmount: not mounted", 1);
        }
        if (!mount && node.value("busy").toBool()) {
            const QString holder = node.value("busyProcess").toString("412 (mds)");
            return answer({}, volume + " failed to unmount: dissented by PID " + holder, 1);
        }
        if (mount && !mounted) {
            node["mountPoint"] = node.value("mountPath").toString("/Volumes/" + name(node, place));
        } else if (!mount) {
            node["mountPoint"] = QString();
        }
        return answer(volume + (mount ? " mounted" : " unmounted"));
    });
}

// Misbehaves as the first matching failure entry says; returns the exit status when the run ends here.
std::optional<int> fail(const QJsonObject& state, const QStringList& arguments) {
    for (const QJsonValue& value : state.value("failures").toArray()) {
        const QJsonObject failure = value.toObject();
        if (text(failure, "command") != arguments.first() ||
            (failure.contains("target") && text(failure, "target") != arguments.last())) {
            continue;
        }
        if (failure.value("ignoreTermination").toBool()) {
            std::signal(SIGTERM, SIG_IGN);
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(failure.value("sleepSeconds").toDouble()));
        if (failure.value("garbage").toBool()) {
            print(stdout, QByteArray("\x89PNG\r\n\x1a\n\x00\xff\xfe<plist><dict><key>Volume", 33));
            return 0;
        }
        if (failure.contains("exitCode")) {
            print(stdout, text(failure, "stdout").toUtf8());
            print(stderr, text(failure, "stderr").toUtf8());
            return failure.value("exitCode").toInt();
        }
        return std::nullopt;
    }
    return std::nullopt;
}

int run(QJsonObject& state, const QStringList& arguments) {
    const QString command = arguments.first();
    if (command == "info" && arguments.size() == 3 && arguments.at(1) == "-plist") {
        QJsonObject unchanged = state;
        return onTarget(unchanged, arguments.at(2), info);
    }
    if ((command == "mount" || command == "unmount") && arguments.size() == 2) {
        return mountOrUnmount(state, command == "mount", arguments.at(1));
    }
    if (arguments == QStringList{"list", "-plist", "external", "physical"}) {
        return listExternalPhysical(state);
    }
    if (command == "apfs" && arguments.size() == 4 && arguments.at(1) == "list" &&
        arguments.at(3) == "-plist") {
        return apfsList(state, arguments.at(2));
    }
    return answer({}, "Unsupported command: " + arguments.join(' '), 1);
}

// Reads the state, lets CHANGE edit it and writes it back whole, all under the state's lock.
bool update(const QString& path, const std::function<void(QJsonObject&)>& change) {
    const tarnwell::testing::StateFileLock lock(path);
    QFile file(path);
    QJsonObject state =
        file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
    file.close();
    change(state);
    QSaveFile saved(path);
    return saved.open(QIODevice::WriteOnly) && saved.write(QJsonDocument(state).toJson()) >= 0 &&
           saved.commit();
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int index = 1; index < argc; ++index) {
        arguments.append(QString::fromLocal8Bit(argv[index]));
    }
    const QString path = qEnvironmentVariable("TARNWELL_FAKE_DISKUTIL_STATE");
    QJsonObject recorded;
    const bool saved = update(path, [&](QJsonObject& state) {
        QJsonArray invocations = state.value("invocations").toArray();
        invocations.append(QJsonArray::fromStringList(arguments));
        state["invocations"] = invocations;
        recorded = state;
    });
    if (arguments.isEmpty() || !saved) {
        return answer(
            {},
            "usage: tarnwell-fake-diskutil COMMAND ... with TARNWELL_FAKE_DISKUTIL_STATE naming its state",
            2);
    }
    // A misbehaving run may sleep, so it decides on the state it recorded, without holding the lock.
    if (const std::optional<int> status = fail(recorded, arguments)) {
        return *status;
    }
    int status = 2;
    const bool written = update(path, [&](QJsonObject& state) { status = run(state, arguments); });
    std::fflush(stdout);
    return written ? status : 2;
}
