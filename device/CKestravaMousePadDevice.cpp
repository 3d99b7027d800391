#include "device/CKestravaMousePadDevice.h"

namespace talyx {

CKestravaMousePadDevice::CKestravaMousePadDevice()
    : CFamilyLightingDevice(std::make_unique<CBasicProfiledata>(), PadAndHeadsetEffects()) {}

} // namespace talyx
