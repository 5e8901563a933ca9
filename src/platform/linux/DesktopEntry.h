#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <optional>

namespace tarnwell {

// The parts of a desktop entry file that identify an application.
struct DesktopEntry {
    QString id;
    QString filePath;
    // The unlocalised Name.
    QString name;
    // Exec split into its arguments, field codes removed.
    QList<QString> execArguments;
    std::optional<QString> tryExec;
    bool hidden = false;
    // The unlocalised Icon: a name in the icon theme or an absolute file.
    std::optional<QString> icon;

    bool operator==(const DesktopEntry&) const = default;

    // Reads the main group of a desktop entry file; nothing when the file cannot be read, has no
    // "[Desktop Entry]" group or has an Exec line whose quoting is broken.
    static std::optional<DesktopEntry> read(const QString& filePath, const QString& id);
    // The same from the file's content.
    static std::optional<DesktopEntry> fromContent(const QByteArray& content, const QString& filePath,
                                                   const QString& id);

    // The keys of one group of a key file, localised keys left out, string escapes decoded. When a
    // key appears twice, the first one counts.
    static QHash<QString, QString> group(const QByteArray& content, const QString& groupName);

    // An Exec value split by the desktop entry quoting rules, with field codes dropped and "%%"
    // kept as "%"; nothing when a quote is left open.
    static std::optional<QList<QString>> splitExec(const QString& exec);

    // The desktop-file ID of a path relative to an applications folder: "kde4/foo.desktop" is
    // "kde4-foo".
    static QString fileId(const QString& relativePath);

    // The ID of a desktop file by its place under the nearest folder named "applications", or by
    // its base name when it lies under none.
    static QString fileIdOfPath(const QString& filePath);
};

} // namespace tarnwell
