#pragma once

#include "core/model/PresetDiscovering.h"

#include <optional>

namespace tarnwell {

// Finds application bundles ("Name.app" folders) by their file names under a list of folders and
// reads their identifiers from "Contents/Info.plist".
class ApplicationBundleDiscovery : public PresetDiscovering {
public:
    explicit ApplicationBundleDiscovery(
        QList<QString> applicationDirectories = defaultApplicationDirectories());

    // "/Applications", then "Applications" in the user's home folder.
    static QList<QString> defaultApplicationDirectories();

    // The bundle's identifier, or nothing when it cannot be read or is empty.
    static std::optional<QString> bundleIdentifier(const QString& bundlePath);

    // Whether a bundle's file name matches a hint; a hint with exactly one "*" matches by prefix and
    // suffix, any other hint only literally.
    static bool matchesHint(const QString& fileName, const QString& hint);

    // Matching bundles in number-aware path order, each once.
    QList<QString> applicationPaths(const PresetCandidate& candidate) const;

    QList<QString> discoverIdentifiers(const PresetCandidate& candidate) const override;

    const QList<QString>& applicationDirectories() const { return m_applicationDirectories; }

private:
    QList<QString> m_applicationDirectories;
};

} // namespace tarnwell
