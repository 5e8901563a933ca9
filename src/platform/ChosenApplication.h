#pragma once

#include <QString>

namespace tarnwell {

// An application the user picked from disk, as the settings need it.
struct ChosenApplication {
    QString bundleIdentifier;
    // The application's own name, or the file's base name when it gives none.
    QString displayName;

    bool operator==(const ChosenApplication&) const = default;
};

} // namespace tarnwell
