#pragma once

#include "platform/ChosenApplication.h"

#include <QString>
#include <optional>

namespace tarnwell {

// Reads the identity of a chosen application: a desktop file gives its desktop-file ID and Name,
// an application bundle its Info.plist identifier and CFBundleName or CFBundleDisplayName.
class ChosenApplicationReader {
public:
    // Nothing when the file is neither, or names no identifier.
    static std::optional<ChosenApplication> read(const QString& path);
};

} // namespace tarnwell
