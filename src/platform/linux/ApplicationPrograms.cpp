#include "platform/linux/ApplicationPrograms.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace tarnwell {

namespace {

QString canonical(const QString& path) {
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return resolved.isEmpty() ? QDir::cleanPath(path) : resolved;
}

QString folderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

bool startsWithShebang(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(2) == "#!";
}

// Where an entry's program is what is finally run.
struct EntryProgram {
    // As found: for a name looked up in PATH, the path in the PATH folder, links not resolved.
    QString program;
    // For an interpreter, the script it runs, when the Exec line names one by its absolute path.
    std::optional<QString> script;
};

// The index of the first argument from `from` on that names a program, skipping env's options and
// variable settings.
std::optional<qsizetype> nextProgramArgument(const QList<QString>& arguments, qsizetype from,
                                             const QString& searchPath) {
    for (qsizetype index = from; index < arguments.size(); ++index) {
        const QString& argument = arguments.at(index);
        if (argument.startsWith(u'-') || argument.contains(u'=')) {
            continue;
        }
        if (DesktopEntryIndex::findProgram(argument, searchPath)) {
            return index;
        }
    }
    return std::nullopt;
}

// The program an Exec line finally runs: a launcher, or any program whose arguments name another
// program, hands over to that program, and an interpreter to its script.
std::optional<EntryProgram> entryProgram(const QList<QString>& arguments, const QString& searchPath) {
    qsizetype index = 0;
    while (index < arguments.size()) {
        if (QFileInfo(arguments.at(index)).fileName() == u"env") {
            // env's own options take the next argument as their value.
            ++index;
            while (index < arguments.size() &&
                   (arguments.at(index).startsWith(u'-') || arguments.at(index).contains(u'='))) {
                const bool takesValue = arguments.at(index) == u"-u" || arguments.at(index) == u"-C";
                index += takesValue ? 2 : 1;
            }
            continue;
        }
        const auto program = DesktopEntryIndex::findProgram(arguments.at(index), searchPath);
        if (!program) {
            return std::nullopt;
        }
        if (ApplicationPrograms::isInterpreter(*program)) {
            auto script = ApplicationPrograms::scriptArgument(arguments.mid(index));
            if (script && QDir::isRelativePath(*script)) {
                script.reset();
            }
            return EntryProgram{*program, script};
        }
        const auto next = nextProgramArgument(arguments, index + 1, searchPath);
        if (!next) {
            return EntryProgram{*program, std::nullopt};
        }
        index = *next;
    }
    return std::nullopt;
}

// The programs a wrapper script runs in its place with exec, by absolute path or by a path below a
// folder it computes (as "$HERE/bin/editor" or "$(dirname "$0")/bin/editor"), taken to be the
// script's own folder. A wrapper runs for microseconds, so often only what it runs is ever seen.
QList<QString> programsExecutedBy(const QString& script) {
    QFile file(script);
    if (!file.open(QIODevice::ReadOnly) || file.read(2) != "#!") {
        return {};
    }
    const QString text = QString::fromUtf8(file.read(64 * 1024));
    static const QRegularExpression execCommand(
        QStringLiteral(
            "(?:^|[;&|]|\\s)exec\\s+[\"']?"
            "(?:(/[^\"'\\s;&|]+)|(?:\\$\\{?\\w+\\}?|\\$\\((?:[^()]|\\([^()]*\\))*\\))/([^\"'\\s;&|]+))"),
        QRegularExpression::MultilineOption);
    QList<QString> programs;
    for (auto match = execCommand.globalMatch(text); match.hasNext();) {
        const auto command = match.next();
        const QString program = command.hasCaptured(1)
                                    ? command.captured(1)
                                    : folderOf(canonical(script)) + u'/' + command.captured(2);
        const auto found = DesktopEntryIndex::findProgram(QDir::cleanPath(program), QString());
        if (found && !ApplicationPrograms::isInterpreter(*found)) {
            programs.append(*found);
        }
    }
    return programs;
}

// A snap's command "…/snap/bin/NAME[.APP]" runs programs installed below "…/snap/NAME".
std::optional<QString> snapFolder(const QString& invocation) {
    static const QRegularExpression command(QStringLiteral("^(.*/snap)/bin/([^/.]+)(\\.[^/]+)?$"));
    const auto match = command.match(invocation);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    return match.captured(1) + u'/' + match.captured(2);
}

using Claims = QHash<QString, QSet<QString>>;

void claim(Claims& claims, const QString& key, const QString& id) {
    claims[key].insert(id);
}

QHash<QString, QString> soleClaims(const Claims& claims) {
    QHash<QString, QString> sole;
    for (auto claim = claims.cbegin(); claim != claims.cend(); ++claim) {
        if (claim->size() == 1) {
            sole.insert(claim.key(), *claim->cbegin());
        }
    }
    return sole;
}

} // namespace

ApplicationPrograms::ApplicationPrograms(const DesktopEntryIndex& index, const QString& searchPath) {
    Claims programClaims;
    Claims invocationClaims;
    Claims folderClaims;
    for (const DesktopEntry& entry : index.entries()) {
        QList<QString>& ownPrograms = m_programsById[entry.id];
        std::optional<QString> folder;
        const auto addProgram = [&](const QString& path) {
            const QString program = canonical(path);
            if (isLauncher(path) || isLauncher(program)) {
                return;
            }
            claim(programClaims, program, entry.id);
            if (!ownPrograms.contains(program)) {
                ownPrograms.append(program);
            }
            if (!folder) {
                folder = installFolder(program, searchPath);
            }
        };
        if (const auto run = entryProgram(entry.execArguments, searchPath)) {
            const QString resolved = canonical(run->program);
            if (run->script) {
                addProgram(*run->script);
                for (const QString& program : programsExecutedBy(*run->script)) {
                    addProgram(program);
                }
            } else if (QFileInfo(run->program).fileName() == u"flatpak") {
                m_sandboxedIds.insert(entry.id);
            } else if (isInterpreter(run->program)) {
                // An interpreter without a script of its own is no application's program.
            } else if (resolved != QDir::cleanPath(run->program) &&
                       QFileInfo(resolved).fileName() != QFileInfo(run->program).fileName()) {
                // Started through a link with another name: only that name stands for this entry.
                claim(invocationClaims, QDir::cleanPath(run->program), entry.id);
                m_dispatchers.insert(resolved);
                if (!ownPrograms.contains(resolved)) {
                    ownPrograms.append(resolved);
                }
                folder = snapFolder(QDir::cleanPath(run->program));
            } else {
                addProgram(run->program);
                for (const QString& program : programsExecutedBy(run->program)) {
                    addProgram(program);
                }
            }
        }
        if (entry.tryExec) {
            if (const auto program = DesktopEntryIndex::findProgram(*entry.tryExec, searchPath);
                program && !isInterpreter(*program) && !m_dispatchers.contains(canonical(*program))) {
                addProgram(*program);
            }
        }
        if (folder) {
            claim(folderClaims, *folder, entry.id);
            m_folderById.insert(entry.id, *folder);
        }
    }
    for (const QString& dispatcher : std::as_const(m_dispatchers)) {
        programClaims.remove(dispatcher);
    }
    m_idsByProgram = soleClaims(programClaims);
    m_idsByInvocation = soleClaims(invocationClaims);
    m_idsByFolder = soleClaims(folderClaims);
    for (auto folder = m_folderById.begin(); folder != m_folderById.end();) {
        folder = m_idsByFolder.contains(*folder) ? std::next(folder) : m_folderById.erase(folder);
    }
}

std::optional<QString> ApplicationPrograms::idByProgram(const QString& program) const {
    const auto id = m_idsByProgram.constFind(program);
    return id == m_idsByProgram.constEnd() ? std::nullopt : std::optional<QString>(*id);
}

std::optional<QString> ApplicationPrograms::idByInvocation(const QString& invocation) const {
    const auto id = m_idsByInvocation.constFind(invocation);
    return id == m_idsByInvocation.constEnd() ? std::nullopt : std::optional<QString>(*id);
}

std::optional<QString> ApplicationPrograms::idByFolder(const QString& program) const {
    if (m_idsByFolder.isEmpty()) {
        return std::nullopt;
    }
    for (QString folder = folderOf(program); folder.size() > 1; folder = folderOf(folder)) {
        if (const auto id = m_idsByFolder.constFind(folder); id != m_idsByFolder.constEnd()) {
            return *id;
        }
    }
    return std::nullopt;
}

bool ApplicationPrograms::claims(const QString& id, const QString& program) const {
    if (m_programsById.value(id).contains(program) && !m_dispatchers.contains(program)) {
        return true;
    }
    const auto folder = m_folderById.constFind(id);
    return folder != m_folderById.constEnd() && isBelow(program, *folder);
}

std::optional<QList<QString>> ApplicationPrograms::programsOf(const QString& id) const {
    const auto programs = m_programsById.constFind(id);
    if (programs == m_programsById.constEnd()) {
        return std::nullopt;
    }
    return *programs;
}

bool ApplicationPrograms::isInterpreter(const QString& programPath) {
    static const QRegularExpression interpreters(QStringLiteral(
        "^(python[0-9.]*|pypy[0-9.]*|perl[0-9.]*|ruby[0-9.]*|node|nodejs|gjs|lua[0-9.]*|php[0-9.]*|"
        "(ba|da|z|k)?sh|tclsh[0-9.]*|wish[0-9.]*|java)$"));
    return interpreters.match(QFileInfo(programPath).fileName()).hasMatch();
}

bool ApplicationPrograms::isLauncher(const QString& programPath) {
    static const QRegularExpression launchers(
        QStringLiteral("^(flatpak|flatpak-spawn|env|wine[0-9]*|wine-stable|steam|snap|bwrap|firejail|"
                       "gamemoderun|prime-run|pkexec|sudo|xdg-open|gtk-launch)$"));
    return launchers.match(QFileInfo(programPath).fileName()).hasMatch();
}

std::optional<QString> ApplicationPrograms::scriptArgument(const QList<QString>& arguments) {
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

bool ApplicationPrograms::isSharedFolder(const QString& folder, const QString& searchPath) {
    static const QSet<QString> systemFolders{
        QStringLiteral("/opt"),           QStringLiteral("/snap"),           QStringLiteral("/tmp"),
        QStringLiteral("/var/tmp"),       QStringLiteral("/var/lib"),        QStringLiteral("/usr/lib"),
        QStringLiteral("/usr/lib64"),     QStringLiteral("/usr/libexec"),    QStringLiteral("/usr/share"),
        QStringLiteral("/usr/local/lib"), QStringLiteral("/usr/local/share")};
    if (folder.count(u'/') < 2 || systemFolders.contains(folder)) {
        return true;
    }
    QList<QString> shared = searchPath.split(u':', Qt::SkipEmptyParts);
    shared.append(QDir::homePath());
    return std::any_of(shared.cbegin(), shared.cend(), [&](const QString& sharedFolder) {
        const QString clean = QDir::cleanPath(sharedFolder);
        return clean == folder || isBelow(clean, folder);
    });
}

std::optional<QString> ApplicationPrograms::installFolder(const QString& program, const QString& searchPath) {
    QString folder = folderOf(program);
    if (QFileInfo(folder).fileName() == u"bin") {
        folder = folderOf(folder);
    } else if (folderOf(folder) != u"/opt" && !startsWithShebang(program)) {
        return std::nullopt;
    }
    if (ApplicationPrograms::isSharedFolder(folder, searchPath)) {
        return std::nullopt;
    }
    return folder;
}

bool ApplicationPrograms::isBelow(const QString& path, const QString& folder) {
    return path.size() > folder.size() + 1 && path.startsWith(folder) && path.at(folder.size()) == u'/';
}

} // namespace tarnwell
