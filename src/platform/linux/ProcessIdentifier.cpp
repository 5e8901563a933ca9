#include "platform/linux/ProcessIdentifier.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <fcntl.h>
#include <unistd.h>

namespace tarnwell {

namespace {

// Plain system calls: several of these run for every new process, and QFile costs several times
// more per file.
QByteArray readFile(const QString& path) {
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return {};
    }
    QByteArray content;
    char buffer[16384];
    ssize_t length = 0;
    while ((length = ::read(descriptor, buffer, sizeof buffer)) > 0) {
        content.append(buffer, length);
    }
    ::close(descriptor);
    return content;
}

std::optional<QString> readLink(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    QByteArray target(4096, Qt::Uninitialized);
    const ssize_t length = ::readlink(native.constData(), target.data(), static_cast<size_t>(target.size()));
    if (length <= 0 || length >= target.size()) {
        return std::nullopt;
    }
    target.truncate(length);
    QString result = QFile::decodeName(target);
    // The kernel marks an executable replaced on disk (an upgraded package) this way.
    const QString deleted = QStringLiteral(" (deleted)");
    if (result.endsWith(deleted)) {
        result.chop(deleted.size());
    }
    return result;
}

QString canonical(const QString& path) {
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return resolved.isEmpty() ? QDir::cleanPath(path) : resolved;
}

QString unescapeUnitName(const QString& name) {
    QString result;
    for (qsizetype index = 0; index < name.size(); ++index) {
        if (name.at(index) == u'\\' && index + 3 < name.size() && name.at(index + 1) == u'x') {
            bool valid = false;
            const ushort code = name.sliced(index + 2, 2).toUShort(&valid, 16);
            if (valid) {
                result.append(QChar(code));
                index += 3;
                continue;
            }
        }
        result.append(name.at(index));
    }
    return result;
}

} // namespace

ProcessIdentifier::ProcessIdentifier(std::shared_ptr<DesktopEntryCatalog> catalog, QString procRoot,
                                     QString searchPath, QString runtimeDirectory)
    : m_catalog(std::move(catalog))
    , m_procRoot(std::move(procRoot))
    , m_searchPath(std::move(searchPath))
    , m_runtimeDirectory(std::move(runtimeDirectory)) {
}

std::optional<QString> ProcessIdentifier::scriptFromCommandLine(const QByteArray& commandLine) {
    QList<QString> arguments;
    for (const QByteArray& argument : commandLine.split('\0')) {
        arguments.append(QFile::decodeName(argument));
    }
    return ApplicationPrograms::scriptArgument(arguments);
}

namespace {

// The fields of a "/proc/PID/stat" text after the command name, the state (field 3) first. The
// name may hold spaces and parentheses, so the fields start past the last ")".
QList<QByteArray> fieldsAfterName(const QByteArray& stat) {
    const qsizetype nameEnd = stat.lastIndexOf(')');
    return nameEnd < 0 ? QList<QByteArray>() : stat.sliced(nameEnd + 1).simplified().split(' ');
}

} // namespace

pid_t ProcessIdentifier::parentFromStat(const QByteArray& stat) {
    return fieldsAfterName(stat).value(4 - 3).toInt();
}

std::optional<quint64> ProcessIdentifier::startTimeFromStat(const QByteArray& stat) {
    const QList<QByteArray> fields = fieldsAfterName(stat);
    // Field 22 of the whole line is the start time.
    constexpr qsizetype startTimeIndex = 22 - 3;
    if (fields.size() <= startTimeIndex) {
        return std::nullopt;
    }
    bool valid = false;
    const quint64 value = fields.at(startTimeIndex).toULongLong(&valid);
    return valid ? std::optional<quint64>(value) : std::nullopt;
}

const ApplicationPrograms* ProcessIdentifier::programs() const {
    const DesktopEntryCatalog::Reading* reading = m_catalog->current().get();
    return reading ? &reading->programs : nullptr;
}

quint64 ProcessIdentifier::revision() const {
    const auto reading = m_catalog->current();
    return reading ? reading->revision : 0;
}

std::optional<QList<QString>> ProcessIdentifier::programsOf(const QString& id) const {
    if (const auto chosen = m_chosenPrograms.constFind(id); chosen != m_chosenPrograms.cend()) {
        return QList<QString>{*chosen};
    }
    const ApplicationPrograms* known = programs();
    return known ? known->programsOf(id) : std::nullopt;
}

bool ProcessIdentifier::isSandboxed(const QString& id) const {
    const ApplicationPrograms* known = programs();
    return known && known->isSandboxed(id);
}

void ProcessIdentifier::setChosenPrograms(const QSet<QString>& identifiers) {
    m_chosenPrograms.clear();
    m_chosenFolders.clear();
    for (const QString& id : identifiers) {
        if (!isChosenProgram(id)) {
            continue;
        }
        const QString program = canonical(id);
        m_chosenPrograms.insert(id, program);
        if (const auto folder = ApplicationPrograms::installFolder(program, m_searchPath)) {
            m_chosenFolders.insert(id, *folder);
        }
    }
}

std::optional<QString> ProcessIdentifier::chosenProgramId(const QString& program) const {
    for (auto chosen = m_chosenPrograms.cbegin(); chosen != m_chosenPrograms.cend(); ++chosen) {
        if (chosenProgramClaims(chosen.key(), program)) {
            return chosen.key();
        }
    }
    return std::nullopt;
}

bool ProcessIdentifier::chosenProgramClaims(const QString& id, const QString& program) const {
    const auto folder = m_chosenFolders.constFind(id);
    return m_chosenPrograms.value(id) == program ||
           (folder != m_chosenFolders.cend() && ApplicationPrograms::isBelow(program, *folder));
}

QString ProcessIdentifier::sandboxInstanceFolder() const {
    return QDir::isAbsolutePath(m_runtimeDirectory)
               ? QDir::cleanPath(m_runtimeDirectory + QStringLiteral("/.flatpak"))
               : QString();
}

std::optional<ProcessIdentity>
ProcessIdentifier::identify(pid_t pid, pid_t parent,
                            const std::optional<ProcessIdentity>& parentIdentity) const {
    // The reading is held for the whole look, as the catalog may move on meanwhile.
    const auto reading = m_catalog->current();
    if (!reading) {
        return std::nullopt;
    }
    const ApplicationPrograms& programs = reading->programs;
    const QString processDirectory = m_procRoot + u'/' + QString::number(pid);
    if (auto id = flatpakId(processDirectory)) {
        return ProcessIdentity{*id, {}};
    }
    const auto runs = running(processDirectory, programs);
    if (runs && parentIdentity &&
        (programs.claims(parentIdentity->id, runs->program) ||
         chosenProgramClaims(parentIdentity->id, runs->program) ||
         (!parentIdentity->folder.isEmpty() &&
          ApplicationPrograms::isBelow(runs->program, parentIdentity->folder)) ||
         (runs->invocation && programs.idByInvocation(*runs->invocation) == parentIdentity->id))) {
        return parentIdentity;
    }
    if (runs) {
        std::optional<QString> id;
        if (runs->invocation) {
            id = programs.idByInvocation(*runs->invocation);
        }
        if (!id && !programs.isDispatcher(runs->program)) {
            id = programs.idByProgram(runs->program);
        }
        if (!id) {
            id = programs.idByFolder(runs->program);
        }
        if (!id) {
            id = chosenProgramId(runs->program);
        }
        if (id) {
            return ProcessIdentity{*id, {}};
        }
    }
    if (auto identity = environmentIdentity(processDirectory, pid, runs ? runs->program : QString(),
                                            parentIdentity.has_value(), programs)) {
        return identity;
    }
    if (auto id = launchedUnitId(processDirectory, parent)) {
        return ProcessIdentity{*id, {}};
    }
    return std::nullopt;
}

std::optional<QString> ProcessIdentifier::flatpakId(const QString& processDirectory) const {
    const QByteArray content = readFile(processDirectory + QStringLiteral("/root/.flatpak-info"));
    if (content.isEmpty()) {
        return std::nullopt;
    }
    const QString name =
        DesktopEntry::group(content, QStringLiteral("Application")).value(QStringLiteral("name"));
    return name.isEmpty() ? std::nullopt : std::optional<QString>(name);
}

std::optional<ProcessIdentifier::Running>
ProcessIdentifier::running(const QString& processDirectory, const ApplicationPrograms& programs) const {
    const auto executable = readLink(processDirectory + QStringLiteral("/exe"));
    if (!executable) {
        return std::nullopt;
    }
    const bool interpreter = ApplicationPrograms::isInterpreter(*executable);
    if (!interpreter && !programs.isDispatcher(*executable)) {
        return Running{*executable, std::nullopt};
    }
    const QByteArray commandLine = readFile(processDirectory + QStringLiteral("/cmdline"));
    QString started = interpreter ? scriptFromCommandLine(commandLine).value_or(QString())
                                  : QFile::decodeName(commandLine.left(commandLine.indexOf('\0')));
    if (started.isEmpty()) {
        return interpreter ? std::nullopt : std::optional<Running>(Running{*executable, std::nullopt});
    }
    if (!started.contains(u'/') && !interpreter) {
        // A launcher started by a bare name was found in PATH.
        started = DesktopEntryIndex::findProgram(started, m_searchPath).value_or(started);
    } else if (QDir::isRelativePath(started)) {
        const auto directory = readLink(processDirectory + QStringLiteral("/cwd"));
        if (!directory) {
            return std::nullopt;
        }
        started = *directory + u'/' + started;
    }
    started = QDir::cleanPath(started);
    return Running{interpreter ? canonical(started) : *executable, started};
}

std::optional<ProcessIdentity>
ProcessIdentifier::environmentIdentity(const QString& processDirectory, pid_t pid, const QString& executable,
                                       bool hasParentIdentity, const ApplicationPrograms& programs) const {
    // Another user's or a vanished process has an unreadable environment; the remaining rules
    // still apply.
    const QByteArray environment = readFile(processDirectory + QStringLiteral("/environ"));
    QHash<QByteArray, QByteArray> variables;
    for (const QByteArray& variable : environment.split('\0')) {
        const qsizetype equals = variable.indexOf('=');
        if (equals > 0) {
            variables.insert(variable.left(equals), variable.sliced(equals + 1));
        }
    }
    // A portable image's runtime runs its programs from a mount of its own, named in the
    // environment; a program from there is an instance of the entry that runs the image.
    const QString mount = QFile::decodeName(variables.value("APPDIR"));
    const QString image = QFile::decodeName(variables.value("APPIMAGE"));
    if (!mount.isEmpty() && !image.isEmpty() &&
        ApplicationPrograms::isBelow(executable, QDir::cleanPath(mount))) {
        auto id = programs.idByProgram(canonical(image));
        if (!id) {
            id = chosenProgramId(canonical(image));
        }
        if (id) {
            return ProcessIdentity{*id, QDir::cleanPath(mount)};
        }
    }
    // Children inherit the variables; only the launched process itself carries its own PID, and a
    // hint without one names only a process whose parent is no instance.
    const QByteArray launchedFile = variables.value("GIO_LAUNCHED_DESKTOP_FILE");
    if (!launchedFile.isEmpty() &&
        variables.value("GIO_LAUNCHED_DESKTOP_FILE_PID") == QByteArray::number(pid)) {
        return ProcessIdentity{DesktopEntry::fileIdOfPath(QFile::decodeName(launchedFile)), {}};
    }
    const QByteArray hint = variables.value("BAMF_DESKTOP_FILE_HINT");
    if (!hint.isEmpty() && !hasParentIdentity) {
        return ProcessIdentity{DesktopEntry::fileIdOfPath(QFile::decodeName(hint)), {}};
    }
    return std::nullopt;
}

std::optional<QString> ProcessIdentifier::launchedUnitId(const QString& processDirectory,
                                                         pid_t parent) const {
    const QByteArray cgroup = readFile(processDirectory + QStringLiteral("/cgroup"));
    auto id = applicationIdFromCgroup(QString::fromUtf8(cgroup));
    // Whatever the launched process starts stays in its unit; only the launched process names it.
    if (id && parent > 0 &&
        readFile(m_procRoot + u'/' + QString::number(parent) + QStringLiteral("/cgroup")) == cgroup) {
        return std::nullopt;
    }
    return id;
}

std::optional<QString> ProcessIdentifier::applicationIdFromCgroup(const QString& cgroup) {
    for (const QString& line : cgroup.split(u'\n', Qt::SkipEmptyParts)) {
        const qsizetype pathStart = line.indexOf(u':', line.indexOf(u':') + 1);
        if (pathStart < 0) {
            continue;
        }
        // The innermost unit of the process's cgroup path.
        const QList<QString> components = line.sliced(pathStart + 1).split(u'/', Qt::SkipEmptyParts);
        for (auto component = components.crbegin(); component != components.crend(); ++component) {
            const bool service = component->endsWith(QStringLiteral(".service"));
            const bool scope = component->endsWith(QStringLiteral(".scope"));
            if (!service && !scope) {
                continue;
            }
            if (scope && component->startsWith(QStringLiteral("snap."))) {
                static const QRegularExpression snapScope(
                    QStringLiteral("^snap\\.([^.]+)\\.(.+?)-([0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}|[0-9a-"
                                   "f]+)\\.scope$"));
                const auto match = snapScope.match(*component);
                if (!match.hasMatch()) {
                    break;
                }
                return match.captured(1) + u'_' + match.captured(2);
            }
            if (!component->startsWith(QStringLiteral("app-"))) {
                break;
            }
            QString name = component->sliced(4).chopped(service ? 8 : 6);
            if (service) {
                name = name.section(u'@', 0, 0);
            } else {
                const qsizetype lastDash = name.lastIndexOf(u'-');
                if (lastDash <= 0) {
                    break;
                }
                name.truncate(lastDash);
            }
            const QList<QString> pieces = name.split(u'-');
            if (pieces.size() > 2) {
                break;
            }
            const QString id = unescapeUnitName(pieces.last());
            if (id.isEmpty()) {
                break;
            }
            return id;
        }
    }
    return std::nullopt;
}

} // namespace tarnwell
