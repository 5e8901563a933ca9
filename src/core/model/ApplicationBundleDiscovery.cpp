#include "core/model/ApplicationBundleDiscovery.h"

#include "core/support/PropertyListReader.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <algorithm>

namespace tarnwell {

namespace {

// Folders with these extensions are packages: they are listed but never entered.
bool isPackage(const QFileInfo& entry) {
    static const QSet<QString> packageSuffixes{QStringLiteral("app"),       QStringLiteral("bundle"),
                                               QStringLiteral("framework"), QStringLiteral("plugin"),
                                               QStringLiteral("kext"),      QStringLiteral("pkg")};
    return packageSuffixes.contains(entry.suffix());
}

void collectBundles(const QString& folder, const PresetCandidate& candidate, QList<QString>& found) {
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::NoSort);
    for (const QFileInfo& entry : entries) {
        if (entry.suffix() == u"app") {
            const QString name = entry.fileName();
            const bool matches = std::any_of(
                candidate.appNameHints.begin(), candidate.appNameHints.end(),
                [&](const QString& hint) { return ApplicationBundleDiscovery::matchesHint(name, hint); });
            if (matches && !found.contains(entry.filePath())) {
                found.append(entry.filePath());
            }
        }
        // Symbolic links are not followed into, which also keeps a looping link from recursing.
        if (entry.isDir() && !entry.isSymLink() && !isPackage(entry)) {
            collectBundles(entry.filePath(), candidate, found);
        }
    }
}

} // namespace

ApplicationBundleDiscovery::ApplicationBundleDiscovery(QList<QString> applicationDirectories)
    : m_applicationDirectories(std::move(applicationDirectories)) {
}

QList<QString> ApplicationBundleDiscovery::defaultApplicationDirectories() {
    return {QStringLiteral("/Applications"), QDir::home().filePath(QStringLiteral("Applications"))};
}

bool ApplicationBundleDiscovery::matchesHint(const QString& fileName, const QString& hint) {
    if (hint.contains(u'*')) {
        const QStringList pieces = hint.split(u'*', Qt::KeepEmptyParts);
        if (pieces.size() == 2) {
            return fileName.startsWith(pieces.at(0)) && fileName.endsWith(pieces.at(1));
        }
    }
    return fileName == hint;
}

std::optional<QString> ApplicationBundleDiscovery::bundleIdentifier(const QString& bundlePath) {
    QFile file(QDir(bundlePath).filePath(QStringLiteral("Contents/Info.plist")));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    try {
        const auto identifier =
            PropertyListReader::read(file.readAll()).string(QStringLiteral("CFBundleIdentifier"));
        if (identifier && !identifier->isEmpty()) {
            return identifier;
        }
    } catch (const std::exception&) {
        // A malformed or binary property list simply names no identifier.
    }
    return std::nullopt;
}

QList<QString> ApplicationBundleDiscovery::applicationPaths(const PresetCandidate& candidate) const {
    QList<QString> found;
    for (const QString& folder : m_applicationDirectories) {
        collectBundles(folder, candidate, found);
    }
    QCollator collator;
    collator.setNumericMode(true);
    std::stable_sort(found.begin(), found.end(), [&](const QString& left, const QString& right) {
        return collator.compare(left, right) < 0;
    });
    return found;
}

QList<QString> ApplicationBundleDiscovery::discoverIdentifiers(const PresetCandidate& candidate) const {
    QList<QString> identifiers;
    for (const QString& path : applicationPaths(candidate)) {
        const auto identifier = bundleIdentifier(path);
        if (identifier && !identifiers.contains(*identifier)) {
            identifiers.append(*identifier);
        }
    }
    return identifiers;
}

} // namespace tarnwell
