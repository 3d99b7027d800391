#pragma once

#include "device/CFamilyLightingDevice.h"

namespace talyx {

// The headset's core: its lighting from its profile. Its audio functions (equaliser,
// microphone, surround) need a vendor library this program does not have.
class CKestravaHS6533Device : public CFamilyLightingDevice {
public:
    CKestravaHS6533Device();
};

} // namespace talyx
