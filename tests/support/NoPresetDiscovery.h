#pragma once

#include "core/model/AppPresetService.h"

#include <memory>

namespace tarnwell::testing {

// Preset discovery that finds nothing, so a test does not depend on what this machine has installed.
class NoPresetDiscovery : public PresetDiscovering {
public:
    QList<QString> discoverIdentifiers(const PresetCandidate&) const override { return {}; }
};

// A preset service that only knows the built-in table.
inline std::shared_ptr<AppPresetService> presetsWithoutDiscovery() {
    return std::make_shared<AppPresetService>(
        QList<std::shared_ptr<const PresetDiscovering>>{std::make_shared<NoPresetDiscovery>()});
}

} // namespace tarnwell::testing
