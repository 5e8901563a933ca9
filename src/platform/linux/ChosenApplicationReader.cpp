#include "platform/linux/ChosenApplicationReader.h"

#include "core/model/ApplicationBundleDiscovery.h"
#include "core/support/PropertyListReader.h"
#include "platform/linux/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tarnwell {

namespace {

std::optional<ChosenApplication> readDesktopFile(const QString& path) {
    const QString id = DesktopEntry::fileIdOfPath(path);
    const auto entry = DesktopEntry::read(path, id);
    if (!entry || id.isEmpty()) {
        return std::nullopt;
    }
    return ChosenApplication{id, entry->name.isEmpty() ? QFileInfo(path).completeBaseName() : entry->name};
}

std::optional<ChosenApplication> readBundle(const QString& path) {
    const auto identifier = ApplicationBundleDiscovery::bundleIdentifier(path);
    if (!identifier) {
        return std::nullopt;
    }
    QString displayName = QFileInfo(QDir::cleanPath(path)).completeBaseName();
    QFile file(QDir(path).filePath(QStringLiteral("Contents/Info.plist")));
    if (file.open(QIODevice::ReadOnly)) {
        try {
            const PropertyList information = PropertyListReader::read(file.readAll());
            if (const auto name = information.string(QStringLiteral("CFBundleName"))) {
                displayName = *name;
            } else if (const auto shownName = information.string(QStringLiteral("CFBundleDisplayName"))) {
                displayName = *shownName;
            }
        } catch (const std::exception&) {
            // The identifier was read from this very file, so it parses; the base name stays.
        }
    }
    return ChosenApplication{*identifier, displayName};
}

// A program or portable image that no desktop entry runs is known by its absolute path.
std::optional<ChosenApplication> readProgram(const QString& path) {
    const QFileInfo program(path);
    if (!program.isFile() || !program.isExecutable()) {
        return std::nullopt;
    }
    return ChosenApplication{QDir::cleanPath(program.absoluteFilePath()), program.completeBaseName()};
}

} // namespace

std::optional<ChosenApplication> ChosenApplicationReader::read(const QString& path) {
    if (path.endsWith(QStringLiteral(".desktop"))) {
        return readDesktopFile(path);
    }
    if (QFileInfo(path).isFile()) {
        return readProgram(path);
    }
    return readBundle(path);
}

} // namespace tarnwell
