#pragma once

#include <cstdint>

namespace talyx {

// The numbers the device core and the window share: the timers of a device's selector
// item, and the window messages the pages and the workers send to the main window.

// Selector item timers (one-shot; each re-arms itself as its schedule says).
inline constexpr int kTimerPaint = 1000;        // the page's light picture (the frames themselves go out on the worker)
inline constexpr int kTimerStart = 1001;        // online check, then the page start
inline constexpr int kTimerSettingsSync = 1002; // the keyboard reported changed settings
inline constexpr int kTimerOperation3 = 1003;   // the device's timer operation
inline constexpr int kTimerOperation4 = 1004;   // the same, second timer
inline constexpr int kTimerStatus = 1005;       // status poll
inline constexpr int kTimerWirelessWatch = 1007; // is the keyboard behind the receiver still in reach

// Window messages of the main window.
inline constexpr uint32_t kMsgShowProgress = 3072;    // show "setting_progress"
inline constexpr uint32_t kMsgSelectLanguage = 3089;  // wParam: language index
inline constexpr uint32_t kMsgDeviceArrived = 3090;   // wParam: runtime row
inline constexpr uint32_t kMsgDeviceRemoved = 3091;   // wParam: runtime row
inline constexpr uint32_t kMsgOpenUpdatePage = 3093;  // open the settings window on its update page
inline constexpr uint32_t kMsgClearSetButton = 3094;  // clear the fore image of "setbtn"
inline constexpr uint32_t kMsgDeviceStatus = 0x0D01;  // 3329: status byte 4 in wParam
inline constexpr uint32_t kMsgDeviceStatus2 = 0x0D02; // 3330: status byte in wParam
inline constexpr uint32_t kMsgSelectorItem = 3331;    // wParam selector index; lParam 1 show, 0 hide
inline constexpr uint32_t kMsgPageStarted = 3332;     // a device page has written and shown its device

} // namespace talyx
