#pragma once

#include "core/disk/DriveChangeSource.h"

namespace tarnwell::testing {

// Drive changes that happen when the test says so, and never because another test mounted
// something meanwhile.
class ScriptedDriveChangeSource : public DriveChangeSource {
public:
    void start() override { started = true; }
    void change() { Q_EMIT changed(); }

    bool started = false;
};

} // namespace tarnwell::testing
