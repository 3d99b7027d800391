#include "inputhook/ScanCodes.h"

namespace talyx {
namespace {

// The keys whose input codes differ from their set-1 codes (the 0xE0 ones, Pause, the
// 102nd key and the layouts' own keys). Below 89 the input codes are the set-1 codes
// themselves; Num Lock is reported extended, as the hook reports it.
struct EvdevScanCode {
    int evdev;
    uint8_t code;
    bool extended;
};
constexpr EvdevScanCode kEvdevExtended[] = {
    {69, 0x45, true},
    {96, 0x1C, true},
    {97, 0x1D, true},
    {98, 0x35, true},
    {99, 0x37, true},
    {100, 0x38, true},
    {102, 0x47, true},
    {103, 0x48, true},
    {104, 0x49, true},
    {105, 0x4B, true},
    {106, 0x4D, true},
    {107, 0x4F, true},
    {108, 0x50, true},
    {109, 0x51, true},
    {110, 0x52, true},
    {111, 0x53, true},
    {119, 0x45, false},
    {125, 0x5B, true},
    {126, 0x5C, true},
    {127, 0x5D, true},
    {86, 0x56, false},
    // The keys of Japanese, Brazilian and Korean layouts.
    {89, 0x73, false},
    {124, 0x7D, false},
    {121, 0x7E, false},
    {94, 0x7B, false},
    {92, 0x79, false},
    {93, 0x70, false},
    {123, 0xF1, false},
    {122, 0xF2, false},
};

} // namespace

bool Set1OfEvdevKey(int evdev, uint8_t& scanCode, bool& extended) {
    for (const EvdevScanCode& k : kEvdevExtended) {
        if (k.evdev == evdev) {
            scanCode = k.code;
            extended = k.extended;
            return true;
        }
    }
    if (evdev <= 0 || evdev >= 89)
        return false;
    scanCode = static_cast<uint8_t>(evdev);
    extended = false;
    return true;
}

} // namespace talyx
