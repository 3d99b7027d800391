#pragma once

#include <cstdint>

#include "device/DeviceIds.h"

namespace talyx {

// Message numbers the windows speak among themselves and with worker threads. The
// system-defined ones keep their usual values so that the message tables read as
// documented; the program's own start at 1024 (WM_USER).
inline constexpr uint32_t WM_DESTROY = 0x0002;
inline constexpr uint32_t WM_ACTIVATE = 0x0006;
inline constexpr uint32_t WM_CLOSE = 0x0010;
inline constexpr uint32_t WM_COPYDATA = 0x004A;
inline constexpr uint32_t WM_DISPLAYCHANGE = 0x007E;
inline constexpr uint32_t WM_SYSCOMMAND = 0x0112;
inline constexpr uint32_t WM_TIMER = 0x0113;
inline constexpr uint32_t WM_LBUTTONUP = 0x0202;
inline constexpr uint32_t WM_RBUTTONUP = 0x0205;
inline constexpr uint32_t WM_POWERBROADCAST = 0x0218;
inline constexpr uint32_t WM_MOUSEHOVER = 0x02A1;
inline constexpr uint32_t WM_MOUSELEAVE = 0x02A3;
inline constexpr uint32_t WM_DPICHANGED = 0x02E0;
inline constexpr uint32_t WM_USER = 0x0400;

inline constexpr uint32_t SC_MINIMIZE = 0xF020;
inline constexpr uint32_t SC_MAXIMIZE = 0xF030;
inline constexpr uint32_t SC_RESTORE = 0xF120;

inline constexpr uint32_t PBT_APMSUSPEND = 0x0004;
inline constexpr uint32_t PBT_APMRESUMEAUTOMATIC = 0x0012;

// Message boxes.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// The program's own window messages (those the device core shares are in device/DeviceIds.h).
inline constexpr uint32_t kMsgTray = 1025;       // tray icon: lParam = WM_LBUTTONUP / WM_RBUTTONUP
inline constexpr uint32_t kMsgDpi1 = 1224;       // second DPI notice, logged only
inline constexpr uint32_t kMsgInputHook = 1054;  // wParam 1 install, 0 remove the input hook
inline constexpr uint32_t kMsgMenuChoice = 1145; // wParam: const QString* with the chosen item's name

} // namespace talyx
