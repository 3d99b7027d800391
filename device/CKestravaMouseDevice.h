#pragma once

#include "device/CFamilyLightingDevice.h"

namespace talyx {

// The mouse page's core: the shared exchange and the software lighting of its profile.
class CKestravaMouseDevice : public CFamilyLightingDevice {
public:
    CKestravaMouseDevice();
};

} // namespace talyx
