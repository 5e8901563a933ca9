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

// The first argument after the interpreter that is not an option. An interpreter told to run a
// command or a module ("sh -c", "python3 -m") runs no script file.
std::optional<QString> scriptArgument(const QList<QString>& arguments) {
    for (qsizetype index = 1; index < arguments.size(); ++index) {
        const QString& argument = arguments.at(index);
        if (argument == u"-c" || argument == u"-m" || argument == u"-e") {
            return std::nullopt;
        }
        if (!argument.startsWith(u'-')) {
            return argument;
        }
    }
    return std::nullopt;
}

// The program an Exec line runs, looking through "env" and its options and variable settings.
std::optional<QString> launchedProgram(const QList<QString>& arguments, const QString& searchPath) {
    qsizetype index = 0;
    while (index < arguments.size() && QFileInfo(arguments.at(index)).fileName() == u"env") {
        ++index;
        while (index < arguments.size() &&
               (arguments.at(index).startsWith(u'-') || arguments.at(index).contains(u'='))) {
            // These options take the next argument as their value.
            const bool takesValue = arguments.at(index) == u"-u" || arguments.at(index) == u"-C";
            index += takesValue ? 2 : 1;
        }
    }
    if (index >= arguments.size()) {
        return std::nullopt;
    }
    return DesktopEntryIndex::findProgram(arguments.at(index), searchPath);
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

ProcessIdentifier::ProcessIdentifier(QString procRoot, QList<QString> applicationDirectories,
                                     QString searchPath)
    : m_procRoot(std::move(procRoot))
    , m_applicationDirectories(std::move(applicationDirectories))
    , m_searchPath(std::move(searchPath)) {
}

std::optional<QString> ProcessIdentifier::scriptFromCommandLine(const QByteArray& commandLine) {
    QList<QString> arguments;
    for (const QByteArray& argument : commandLine.split('\0')) {
        arguments.append(QFile::decodeName(argument));
    }
    return scriptArgument(arguments);
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

bool ProcessIdentifier::isInterpreter(const QString& programPath) {
    static const QRegularExpression interpreters(QStringLiteral(
        "^(python[0-9.]*|pypy[0-9.]*|perl[0-9.]*|ruby[0-9.]*|node|nodejs|gjs|lua[0-9.]*|php[0-9.]*|"
        "(ba|da|z|k)?sh|tclsh[0-9.]*|wish[0-9.]*|java)$"));
    return interpreters.match(QFileInfo(programPath).fileName()).hasMatch();
}

bool ProcessIdentifier::isLauncher(const QString& programPath) {
    static const QRegularExpression launchers(
        QStringLiteral("^(flatpak|flatpak-spawn|env|wine[0-9]*|wine-stable|steam|snap|bwrap|firejail|"
                       "gamemoderun|prime-run|pkexec|sudo|xdg-open|gtk-launch)$"));
    return launchers.match(QFileInfo(programPath).fileName()).hasMatch();
}

void ProcessIdentifier::refreshIfChanged() {
    if (!m_index.isCurrent()) {
        reload();
    }
}

void ProcessIdentifier::reload() {
    m_loaded = true;
    ++m_revision;
    m_index = DesktopEntryIndex::load(m_applicationDirectories, m_searchPath);
    m_programsById.clear();
    QHash<QString, QSet<QString>> claims;
    for (const DesktopEntry& entry : m_index.entries()) {
        QList<QString> programs;
        if (const auto program = launchedProgram(entry.execArguments, m_searchPath)) {
            if (!isInterpreter(*program)) {
                programs.append(*program);
            } else if (const auto script = scriptArgument(entry.execArguments);
                       script && QDir::isAbsolutePath(*script)) {
                programs.append(*script);
            }
        }
        if (entry.tryExec) {
            if (const auto program = DesktopEntryIndex::findProgram(*entry.tryExec, m_searchPath);
                program && !isInterpreter(*program)) {
                programs.append(*program);
            }
        }
        QList<QString>& ownPrograms = m_programsById[entry.id];
        for (const QString& program : programs) {
            if (!isLauncher(program)) {
                claims[canonical(program)].insert(entry.id);
                if (!ownPrograms.contains(canonical(program))) {
                    ownPrograms.append(canonical(program));
                }
            }
        }
    }
    m_idsByProgram.clear();
    for (auto claim = claims.cbegin(); claim != claims.cend(); ++claim) {
        if (claim->size() == 1) {
            m_idsByProgram.insert(claim.key(), *claim->cbegin());
        }
    }
}

std::optional<QList<QString>> ProcessIdentifier::programsOf(const QString& id) {
    if (!m_loaded) {
        reload();
    }
    const auto programs = m_programsById.constFind(id);
    if (programs == m_programsById.constEnd()) {
        return std::nullopt;
    }
    return *programs;
}

std::optional<QString> ProcessIdentifier::identify(pid_t pid) {
    if (!m_loaded) {
        reload();
    }
    const QString processDirectory = m_procRoot + u'/' + QString::number(pid);
    if (auto id = flatpakId(processDirectory)) {
        return id;
    }
    if (auto id = entryIdByProgram(processDirectory)) {
        return id;
    }
    if (auto id = launcherHintId(processDirectory, pid)) {
        return id;
    }
    return applicationIdFromCgroup(QString::fromUtf8(readFile(processDirectory + QStringLiteral("/cgroup"))));
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

std::optional<QString> ProcessIdentifier::entryIdByProgram(const QString& processDirectory) const {
    auto executable = readLink(processDirectory + QStringLiteral("/exe"));
    if (!executable) {
        return std::nullopt;
    }
    QString program = *executable;
    if (isInterpreter(program)) {
        const auto script = scriptFromCommandLine(readFile(processDirectory + QStringLiteral("/cmdline")));
        if (!script || script->isEmpty()) {
            return std::nullopt;
        }
        program = *script;
        if (QDir::isRelativePath(program)) {
            const auto directory = readLink(processDirectory + QStringLiteral("/cwd"));
            if (!directory) {
                return std::nullopt;
            }
            program = *directory + u'/' + program;
        }
        program = canonical(program);
    }
    const auto id = m_idsByProgram.constFind(program);
    if (id == m_idsByProgram.constEnd()) {
        return std::nullopt;
    }
    return *id;
}

std::optional<QString> ProcessIdentifier::launcherHintId(const QString& processDirectory, pid_t pid) const {
    // Another user's or a vanished process has an unreadable environment; the remaining rules
    // still apply.
    const QByteArray environment = readFile(processDirectory + QStringLiteral("/environ"));
    QByteArray launchedFile;
    QByteArray launchedPid;
    QByteArray bamfHint;
    for (const QByteArray& variable : environment.split('\0')) {
        if (variable.startsWith("GIO_LAUNCHED_DESKTOP_FILE=")) {
            launchedFile = variable.sliced(qstrlen("GIO_LAUNCHED_DESKTOP_FILE="));
        } else if (variable.startsWith("GIO_LAUNCHED_DESKTOP_FILE_PID=")) {
            launchedPid = variable.sliced(qstrlen("GIO_LAUNCHED_DESKTOP_FILE_PID="));
        } else if (variable.startsWith("BAMF_DESKTOP_FILE_HINT=")) {
            bamfHint = variable.sliced(qstrlen("BAMF_DESKTOP_FILE_HINT="));
        }
    }
    // Children inherit the variable; only the launched process itself carries its own PID.
    if (!launchedFile.isEmpty() && launchedPid == QByteArray::number(pid)) {
        return DesktopEntry::fileIdOfPath(QFile::decodeName(launchedFile));
    }
    if (!bamfHint.isEmpty()) {
        return DesktopEntry::fileIdOfPath(QFile::decodeName(bamfHint));
    }
    return std::nullopt;
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
