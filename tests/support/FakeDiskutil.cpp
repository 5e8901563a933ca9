// tarnwell-fake-diskutil: a disk tool for tests, answering the command lines Tarnwell uses with the
// property lists and messages of the real tool, from a JSON state file instead of real disks.
//
// The state file's path is in the environment variable TARNWELL_FAKE_DISKUTIL_STATE. The tool reads
// it on every run, appends the invocation, and writes it back (mount and unmount change it too).
//
// State format (every key optional):
// {
//   "mountRoot": "/Volumes/",            where "mount" puts a volume that has no "mountPath"
//   "disks": [                           whole disks, in the order the tool lists them
//     { "deviceIdentifier": "disk4",
//       "internal": false,               default true
//       "busProtocol": "USB",            "Disk Image" for disk images
//       "virtual": false,                virtual disks are left out of "list ... physical"
//       "content": "GUID_partition_scheme",
//       "partitions": [ PARTITION, ... ],
//       ...VOLUME keys when the whole disk carries a file system }
//   ],
//   PARTITION = { "deviceIdentifier": "disk4s2", "content": "Apple_APFS",
//                 "apfsContainer": "disk5",        for an APFS physical store: the container it backs
//                 "partitions": [ ... ],           nested to any depth
//                 ...VOLUME keys }
//   VOLUME keys = "volumeName", "volumeUUID", "filesystemName", "mountPoint" ("" or absent: not
//                 mounted), "mountPath" (where "mount" puts it), "busy": true (unmount is
//                 dissented), "busyProcess": "412 (mds)", "mountable": false (mount is refused)
//   "containers": [                      APFS containers, each its own synthesised disk
//     { "containerReference": "disk5", "physicalStore": "disk4s2",
//       "volumes": [ { "deviceIdentifier": "disk5s1", "name": "Media", "uuid": "...",
//                      "roles": ["System"], ...VOLUME keys } ] }
//   ],
//   "failures": [                        the first entry matching a run decides how it misbehaves
//     { "command": "info",               first argument: info, mount, unmount, list or apfs
//       "target": "disk4s2",             optional: only runs whose last argument is this
//       "ignoreTermination": true,       ignore the termination signal
//       "sleepSeconds": 5,               sleep before answering
//       "garbage": true,                 print bytes that are no property list, exit 0
//       "exitCode": 1, "stdout": "...", "stderr": "..."   answer this instead }
//   ],
//   "invocations": [ ["info", "-plist", "disk4"], ... ]   appended by the tool, one per run
// }
//
// Answers: "info -plist TARGET" (TARGET: volume UUID in any case, device identifier with or
// without "/dev/", or mount point), "mount TARGET", "unmount TARGET", "list -plist external
// physical", "apfs list CONTAINER -plist". An unknown target gets the real tool's error document
// on standard output, "Could not find disk: TARGET" on standard error and exit status 1.

#include "core/support/PropertyList.h"
#include "core/support/PropertyListWriter.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <thread>

using tarnwell::PropertyList;
using tarnwell::PropertyListWriter;

namespace {

const char* const stateVariable = "TARNWELL_FAKE_DISKUTIL_STATE";

void write(FILE* stream, const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

void printLine(FILE* stream, const QString& text) {
    write(stream, text.toUtf8() + '\n');
}

// Dictionaries are written with sorted keys, as the real tool does.
PropertyList dictionary(std::map<QString, PropertyList> entries) {
    PropertyList::Dictionary sorted;
    for (auto& [key, value] : entries) {
        sorted.emplace_back(key, std::move(value));
    }
    return PropertyList(std::move(sorted));
}

// Paths into the state that name one disk, partition, container or volume.
struct Node {
    enum class Kind { Disk, Partition, Container, APFSVolume };
    Kind kind;
    QStringList path; // JSON keys and indices from the root
    QJsonObject object;
    QJsonObject wholeDisk; // the physical disk the node lives on (for containers: the store's disk)
    QString wholeDiskIdentifier;
    QString containerReference;
};

class State {
public:
    explicit State(QString path)
        : m_path(std::move(path)) {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly)) {
            throw std::runtime_error("cannot read the state file");
        }
        QJsonParseError error{};
        m_root = QJsonDocument::fromJson(file.readAll(), &error).object();
        if (error.error != QJsonParseError::NoError) {
            throw std::runtime_error("the state file is not JSON");
        }
    }

    QJsonObject& root() { return m_root; }

    void save() {
        QSaveFile file(m_path);
        if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(m_root).toJson()) < 0 ||
            !file.commit()) {
            throw std::runtime_error("cannot write the state file");
        }
    }

    std::vector<Node> nodes() const {
        std::vector<Node> result;
        const QJsonArray disks = m_root.value(QStringLiteral("disks")).toArray();
        for (qsizetype index = 0; index < disks.size(); ++index) {
            const QJsonObject disk = disks.at(index).toObject();
            const QString identifier = disk.value(QStringLiteral("deviceIdentifier")).toString();
            const QStringList path = {QStringLiteral("disks"), QString::number(index)};
            result.push_back({Node::Kind::Disk, path, disk, disk, identifier, {}});
            collectPartitions(disk, path, disk, identifier, result);
        }
        const QJsonArray containers = m_root.value(QStringLiteral("containers")).toArray();
        for (qsizetype index = 0; index < containers.size(); ++index) {
            const QJsonObject container = containers.at(index).toObject();
            const QString reference = container.value(QStringLiteral("containerReference")).toString();
            const QString store = container.value(QStringLiteral("physicalStore")).toString();
            QJsonObject storeDisk;
            QString storeDiskIdentifier;
            for (const Node& node : result) {
                if (node.object.value(QStringLiteral("deviceIdentifier")).toString() == store) {
                    storeDisk = node.wholeDisk;
                    storeDiskIdentifier = node.wholeDiskIdentifier;
                }
            }
            const QStringList path = {QStringLiteral("containers"), QString::number(index)};
            result.push_back(
                {Node::Kind::Container, path, container, storeDisk, storeDiskIdentifier, reference});
            const QJsonArray volumes = container.value(QStringLiteral("volumes")).toArray();
            for (qsizetype volume = 0; volume < volumes.size(); ++volume) {
                result.push_back({Node::Kind::APFSVolume,
                                  path + QStringList{QStringLiteral("volumes"), QString::number(volume)},
                                  volumes.at(volume).toObject(), storeDisk, storeDiskIdentifier, reference});
            }
        }
        return result;
    }

    void update(const QStringList& path, const std::function<void(QJsonObject&)>& change) {
        m_root = updated(m_root, path, 0, change).toObject();
    }

private:
    static void collectPartitions(const QJsonObject& parent, const QStringList& parentPath,
                                  const QJsonObject& disk, const QString& diskIdentifier,
                                  std::vector<Node>& result) {
        const QJsonArray partitions = parent.value(QStringLiteral("partitions")).toArray();
        for (qsizetype index = 0; index < partitions.size(); ++index) {
            const QJsonObject partition = partitions.at(index).toObject();
            const QStringList path =
                parentPath + QStringList{QStringLiteral("partitions"), QString::number(index)};
            result.push_back({Node::Kind::Partition, path, partition, disk, diskIdentifier, {}});
            collectPartitions(partition, path, disk, diskIdentifier, result);
        }
    }

    static QJsonValue updated(QJsonValue value, const QStringList& path, qsizetype depth,
                              const std::function<void(QJsonObject&)>& change) {
        if (depth == path.size()) {
            QJsonObject object = value.toObject();
            change(object);
            return object;
        }
        if (value.isArray()) {
            QJsonArray array = value.toArray();
            const qsizetype index = path.at(depth).toLongLong();
            array[index] = updated(array.at(index), path, depth + 1, change);
            return array;
        }
        QJsonObject object = value.toObject();
        object[path.at(depth)] = updated(object.value(path.at(depth)), path, depth + 1, change);
        return object;
    }

    QString m_path;
    QJsonObject m_root;
};

QString text(const QJsonObject& object, const char* key) {
    return object.value(QLatin1String(key)).toString();
}

bool isVolume(const Node& node) {
    return node.kind == Node::Kind::APFSVolume || node.object.contains(QStringLiteral("volumeUUID"));
}

QString deviceIdentifier(const Node& node) {
    if (node.kind == Node::Kind::Container) {
        return node.containerReference;
    }
    return text(node.object, "deviceIdentifier");
}

QString volumeName(const Node& node) {
    return node.kind == Node::Kind::APFSVolume ? text(node.object, "name") : text(node.object, "volumeName");
}

QString volumeUUID(const Node& node) {
    return node.kind == Node::Kind::APFSVolume ? text(node.object, "uuid") : text(node.object, "volumeUUID");
}

std::optional<Node> find(const std::vector<Node>& nodes, const QString& target) {
    QString device = target;
    if (device.startsWith(QStringLiteral("/dev/"))) {
        device = device.mid(5);
    }
    for (const Node& node : nodes) {
        const QString uuid = volumeUUID(node);
        const QString mountPoint = text(node.object, "mountPoint");
        if (deviceIdentifier(node) == device ||
            (!uuid.isEmpty() && uuid.compare(target, Qt::CaseInsensitive) == 0) ||
            (!mountPoint.isEmpty() && mountPoint == target)) {
            return node;
        }
    }
    return std::nullopt;
}

int notFound(const QString& target) {
    const QString message = QStringLiteral("Could not find disk: ") + target;
    write(stdout, PropertyListWriter::write(dictionary({{QStringLiteral("Error"), true},
                                                        {QStringLiteral("ErrorMessage"), message},
                                                        {QStringLiteral("ExitCode"), 1}})));
    printLine(stderr, message);
    return 1;
}

int info(const std::vector<Node>& nodes, const QString& target) {
    const std::optional<Node> node = find(nodes, target);
    if (!node) {
        return notFound(target);
    }
    const QString identifier = deviceIdentifier(*node);
    std::map<QString, PropertyList> entries = {
        {QStringLiteral("DeviceIdentifier"), identifier},
        {QStringLiteral("DeviceNode"), QStringLiteral("/dev/") + identifier},
        {QStringLiteral("ParentWholeDisk"),
         node->kind == Node::Kind::Container ? identifier : node->wholeDiskIdentifier},
        {QStringLiteral("WholeDisk"), node->kind == Node::Kind::Disk || node->kind == Node::Kind::Container},
        {QStringLiteral("Internal"), node->wholeDisk.value(QStringLiteral("internal")).toBool(true)},
        {QStringLiteral("VirtualOrPhysical"), node->wholeDisk.value(QStringLiteral("virtual")).toBool(false)
                                                  ? QStringLiteral("Virtual")
                                                  : QStringLiteral("Physical")},
        {QStringLiteral("VolumeName"), volumeName(*node)},
        {QStringLiteral("MountPoint"), text(node->object, "mountPoint")},
        {QStringLiteral("Content"), text(node->object, "content")},
    };
    if (node->wholeDisk.contains(QStringLiteral("busProtocol"))) {
        entries[QStringLiteral("BusProtocol")] = text(node->wholeDisk, "busProtocol");
    }
    if (isVolume(*node)) {
        entries[QStringLiteral("VolumeUUID")] = volumeUUID(*node);
        const QString fileSystem = text(node->object, "filesystemName");
        entries[QStringLiteral("FilesystemName")] =
            fileSystem.isEmpty() && node->kind == Node::Kind::APFSVolume ? QStringLiteral("APFS")
                                                                         : fileSystem;
    }
    if (!node->containerReference.isEmpty()) {
        entries[QStringLiteral("APFSContainerReference")] = node->containerReference;
    } else if (node->object.contains(QStringLiteral("apfsContainer"))) {
        entries[QStringLiteral("APFSContainerReference")] = text(node->object, "apfsContainer");
    }
    write(stdout, PropertyListWriter::write(dictionary(std::move(entries))));
    return 0;
}

PropertyList listEntry(const QJsonObject& object) {
    std::map<QString, PropertyList> entries = {
        {QStringLiteral("DeviceIdentifier"), text(object, "deviceIdentifier")},
        {QStringLiteral("Content"), text(object, "content")},
        {QStringLiteral("Size"), qint64(500107862016)},
    };
    if (object.contains(QStringLiteral("volumeUUID"))) {
        entries[QStringLiteral("VolumeName")] = text(object, "volumeName");
        entries[QStringLiteral("VolumeUUID")] = text(object, "volumeUUID");
        if (!text(object, "mountPoint").isEmpty()) {
            entries[QStringLiteral("MountPoint")] = text(object, "mountPoint");
        }
    }
    const QJsonArray partitions = object.value(QStringLiteral("partitions")).toArray();
    if (!partitions.isEmpty()) {
        PropertyList::Array children;
        for (const QJsonValue& partition : partitions) {
            children.push_back(listEntry(partition.toObject()));
        }
        entries[QStringLiteral("Partitions")] = PropertyList(std::move(children));
    }
    return dictionary(std::move(entries));
}

int listExternalPhysical(State& state) {
    PropertyList::Array all;
    PropertyList::Array wholeDisks;
    for (const QJsonValue& value : state.root().value(QStringLiteral("disks")).toArray()) {
        const QJsonObject disk = value.toObject();
        if (disk.value(QStringLiteral("internal")).toBool(true) ||
            disk.value(QStringLiteral("virtual")).toBool(false) ||
            text(disk, "busProtocol") == QStringLiteral("Disk Image")) {
            continue;
        }
        all.push_back(listEntry(disk));
        wholeDisks.push_back(PropertyList(text(disk, "deviceIdentifier")));
    }
    write(stdout,
          PropertyListWriter::write(dictionary({{QStringLiteral("AllDisksAndPartitions"), PropertyList(all)},
                                                {QStringLiteral("WholeDisks"), PropertyList(wholeDisks)}})));
    return 0;
}

int apfsList(State& state, const QString& reference) {
    for (const QJsonValue& value : state.root().value(QStringLiteral("containers")).toArray()) {
        const QJsonObject container = value.toObject();
        if (text(container, "containerReference") != reference) {
            continue;
        }
        PropertyList::Array volumes;
        for (const QJsonValue& volumeValue : container.value(QStringLiteral("volumes")).toArray()) {
            const QJsonObject volume = volumeValue.toObject();
            PropertyList::Array roles;
            for (const QJsonValue& role : volume.value(QStringLiteral("roles")).toArray()) {
                roles.push_back(PropertyList(role.toString()));
            }
            volumes.push_back(
                dictionary({{QStringLiteral("APFSVolumeUUID"), text(volume, "uuid")},
                            {QStringLiteral("DeviceIdentifier"), text(volume, "deviceIdentifier")},
                            {QStringLiteral("Name"), text(volume, "name")},
                            {QStringLiteral("Roles"), PropertyList(std::move(roles))},
                            {QStringLiteral("Encryption"), false}}));
        }
        const QString store = text(container, "physicalStore");
        PropertyList containerEntry = dictionary(
            {{QStringLiteral("ContainerReference"), reference},
             {QStringLiteral("DesignatedPhysicalStore"), store},
             {QStringLiteral("PhysicalStores"),
              PropertyList(PropertyList::Array{dictionary({{QStringLiteral("DeviceIdentifier"), store}})})},
             {QStringLiteral("Volumes"), PropertyList(std::move(volumes))}});
        write(stdout,
              PropertyListWriter::write(dictionary(
                  {{QStringLiteral("Containers"), PropertyList(PropertyList::Array{containerEntry})}})));
        return 0;
    }
    printLine(stderr, QStringLiteral("Could not find disk: ") + reference);
    return 1;
}

int mount(State& state, const QString& target) {
    const std::optional<Node> node = find(state.nodes(), target);
    if (!node) {
        printLine(stderr, QStringLiteral("Could not find disk: ") + target);
        return 1;
    }
    const QString device = deviceIdentifier(*node);
    if (!isVolume(*node) || !node->object.value(QStringLiteral("mountable")).toBool(true)) {
        printLine(stderr, QStringLiteral("Volume on ") + device + QStringLiteral(" failed to mount"));
        printLine(stderr, QStringLiteral("This is not a mountable file system."));
        return 1;
    }
    const QString name = volumeName(*node);
    if (text(node->object, "mountPoint").isEmpty()) {
        QString mountPath = text(node->object, "mountPath");
        if (mountPath.isEmpty()) {
            const QString root =
                state.root().value(QStringLiteral("mountRoot")).toString(QStringLiteral("/Volumes/"));
            mountPath = root + name;
        }
        state.update(node->path,
                     [&mountPath](QJsonObject& object) { object[QStringLiteral("mountPoint")] = mountPath; });
        state.save();
    }
    printLine(stdout, QStringLiteral("Volume ") + name + QStringLiteral(" on ") + device +
                          QStringLiteral(" mounted"));
    return 0;
}

int unmount(State& state, const QString& target) {
    const std::optional<Node> node = find(state.nodes(), target);
    if (!node) {
        printLine(stderr, QStringLiteral("Could not find disk: ") + target);
        return 1;
    }
    const QString device = deviceIdentifier(*node);
    const QString name = volumeName(*node);
    if (text(node->object, "mountPoint").isEmpty()) {
        printLine(stderr, QStringLiteral("Volume ") + name + QStringLiteral(" on ") + device +
                              QStringLiteral(" failed to unmount: not mounted"));
        return 1;
    }
    if (node->object.value(QStringLiteral("busy")).toBool(false)) {
        const QString holder =
            node->object.value(QStringLiteral("busyProcess")).toString(QStringLiteral("412 (mds)"));
        printLine(stderr, QStringLiteral("Volume ") + name + QStringLiteral(" on ") + device +
                              QStringLiteral(" failed to unmount: dissented by PID ") + holder);
        return 1;
    }
    state.update(node->path, [](QJsonObject& object) { object[QStringLiteral("mountPoint")] = QString(); });
    state.save();
    printLine(stdout, QStringLiteral("Volume ") + name + QStringLiteral(" on ") + device +
                          QStringLiteral(" unmounted"));
    return 0;
}

int usage(const QStringList& arguments) {
    printLine(stderr, QStringLiteral("Unsupported command: ") + arguments.join(QLatin1Char(' ')));
    return 1;
}

// Misbehaves as the first matching failure entry says; returns the exit status when the run ends here.
std::optional<int> applyFailure(const QJsonObject& root, const QStringList& arguments) {
    for (const QJsonValue& value : root.value(QStringLiteral("failures")).toArray()) {
        const QJsonObject failure = value.toObject();
        if (text(failure, "command") != arguments.value(0)) {
            continue;
        }
        if (failure.contains(QStringLiteral("target")) && text(failure, "target") != arguments.last()) {
            continue;
        }
        if (failure.value(QStringLiteral("ignoreTermination")).toBool(false)) {
            std::signal(SIGTERM, SIG_IGN);
        }
        const double seconds = failure.value(QStringLiteral("sleepSeconds")).toDouble(0);
        if (seconds > 0) {
            std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        }
        if (failure.value(QStringLiteral("garbage")).toBool(false)) {
            write(stdout, QByteArray("\x89PNG\r\n\x1a\n\x00\xff\xfe<plist><dict><key>Volume", 33));
            return 0;
        }
        if (failure.contains(QStringLiteral("exitCode"))) {
            write(stdout, text(failure, "stdout").toUtf8());
            write(stderr, text(failure, "stderr").toUtf8());
            return failure.value(QStringLiteral("exitCode")).toInt();
        }
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int index = 1; index < argc; ++index) {
        arguments.append(QString::fromLocal8Bit(argv[index]));
    }
    const QString statePath = qEnvironmentVariable(stateVariable);
    if (statePath.isEmpty() || arguments.isEmpty()) {
        printLine(stderr, QStringLiteral("usage: tarnwell-fake-diskutil COMMAND ... (with ") +
                              QLatin1String(stateVariable) + QStringLiteral(" set)"));
        return 2;
    }
    try {
        State state(statePath);
        QJsonArray invocations = state.root().value(QStringLiteral("invocations")).toArray();
        invocations.append(QJsonArray::fromStringList(arguments));
        state.root()[QStringLiteral("invocations")] = invocations;
        state.save();

        if (const std::optional<int> status = applyFailure(state.root(), arguments)) {
            return *status;
        }
        const QString& command = arguments.first();
        if (command == QStringLiteral("info") && arguments.size() == 3 &&
            arguments.at(1) == QStringLiteral("-plist")) {
            return info(state.nodes(), arguments.at(2));
        }
        if (command == QStringLiteral("mount") && arguments.size() == 2) {
            return mount(state, arguments.at(1));
        }
        if (command == QStringLiteral("unmount") && arguments.size() == 2) {
            return unmount(state, arguments.at(1));
        }
        if (arguments == QStringList{QStringLiteral("list"), QStringLiteral("-plist"),
                                     QStringLiteral("external"), QStringLiteral("physical")}) {
            return listExternalPhysical(state);
        }
        if (command == QStringLiteral("apfs") && arguments.size() == 4 &&
            arguments.at(1) == QStringLiteral("list") && arguments.at(3) == QStringLiteral("-plist")) {
            return apfsList(state, arguments.at(2));
        }
        return usage(arguments);
    } catch (const std::exception& error) {
        printLine(stderr, QStringLiteral("tarnwell-fake-diskutil: ") + QString::fromLocal8Bit(error.what()));
        return 2;
    }
}
