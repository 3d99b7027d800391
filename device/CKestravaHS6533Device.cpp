#include "device/CKestravaHS6533Device.h"

#include "profile/CHs6533Profiledata.h"

namespace talyx {

CKestravaHS6533Device::CKestravaHS6533Device()
    : CFamilyLightingDevice(std::make_unique<CHs6533Profiledata>(), PadAndHeadsetEffects()) {}

} // namespace talyx
