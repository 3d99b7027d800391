#include "inputhook/HookRecords.h"

#include "platform/MessageRegistry.h"

namespace talyx {
namespace {

struct ModeMessage {
    int mode;
    const char* name;
};
constexpr ModeMessage kKeyboardMessages[] = {
    {kHookModeSingleKey, "WM_HOOK_KEY_SINGLEKEY_MSG"},   {kHookModeHitKey, "WM_HOOK_KEY_HITKEY_MSG"},
    {kHookModeAppend, "WM_HOOK_KEY_KBMACRO_MSG"},        {kHookModePrevious, "WM_HOOK_KEY_KBMACROPREVIOUS_MSG"},
    {kHookModeLater, "WM_HOOK_KEY_KBMACROLATER_MSG"},    {kHookModeSingle, "WM_HOOK_KEY_KBMACROSINGLE_MSG"},
    {kHookModeMouseSingle, "WM_HOOK_MOU_SINGLEKEY_MSG"}, {kHookModeMouseHit, "WM_HOOK_MOU_HITKEY_MSG"},
    {kHookModeMouseMacro, "WM_HOOK_MOU_KBMACRO_MSG"},
};
constexpr ModeMessage kMouseMessages[] = {
    {kHookModeAppend, "WM_HOOK_KEY_MSMACRO_MSG"},
    {kHookModePrevious, "WM_HOOK_KEY_MSMACROPREVIOUS_MSG"},
    {kHookModeLater, "WM_HOOK_KEY_MSMACROLATER_MSG"},
    {kHookModeSingle, "WM_HOOK_KEY_MSMACROSINGLE_MSG"},
};
// Registered for peers; nothing here acts on them.
constexpr const char* kOtherNames[] = {
    "WM_HOOK_MOU_MSMACRO_MSG",       "UWM_MOUSELBUTTONDOWN_USER_MSG", "UWM_MOUSELBUTTONUP_USER_MSG",
    "UWM_MOUSERBUTTONDOWN_USER_MSG", "UWM_MOUSERBUTTONUP_USER_MSG",   "UWM_MOUSEMOVE_USER_MSG",
};

template <size_t N> uint32_t messageOf(const ModeMessage (&table)[N], int mode) {
    for (const ModeMessage& m : table)
        if (m.mode == mode)
            return RegisterWindowMessage(m.name);
    return 0;
}

} // namespace

void RegisterHookMessages() {
    for (const ModeMessage& m : kKeyboardMessages)
        RegisterWindowMessage(m.name);
    for (const ModeMessage& m : kMouseMessages)
        RegisterWindowMessage(m.name);
    for (const char* name : kOtherNames)
        RegisterWindowMessage(name);
}

uint32_t KeyboardHookMessage(int mode) {
    return messageOf(kKeyboardMessages, mode);
}

uint32_t MouseHookMessage(int mode) {
    return messageOf(kMouseMessages, mode);
}

int HookModeOfMessage(uint32_t msg, bool& mouse) {
    if (msg == 0)
        return 0;
    for (const ModeMessage& m : kKeyboardMessages)
        if (RegisterWindowMessage(m.name) == msg) {
            mouse = false;
            return m.mode;
        }
    for (const ModeMessage& m : kMouseMessages)
        if (RegisterWindowMessage(m.name) == msg) {
            mouse = true;
            return m.mode;
        }
    return 0;
}

} // namespace talyx
