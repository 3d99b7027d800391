#pragma once

#include "device/CFamilyLightingDevice.h"

namespace talyx {

// The mouse pad's core: lighting only, from its profile.
class CKestravaMousePadDevice : public CFamilyLightingDevice {
public:
    CKestravaMousePadDevice();
};

} // namespace talyx
