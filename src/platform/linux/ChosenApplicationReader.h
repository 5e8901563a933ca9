#pragma once

#include <QString>
#include <optional>

namespace tarnwell {

// An application the user picked from disk, as the settings need it.
struct ChosenApplication {
    QString bundleIdentifier;
    // The application's own name, or the file's base name when it gives none.
    QString displayName;

    bool operator==(const ChosenApplication&) const = default;
};

// Reads the identity of a chosen application: a desktop file gives its desktop-file ID and Name,
// an application bundle its Info.plist identifier and CFBundleName or CFBundleDisplayName.
class ChosenApplicationReader {
public:
    // Nothing when the file is neither, or names no identifier.
    static std::optional<ChosenApplication> read(const QString& path);
};

} // namespace tarnwell
