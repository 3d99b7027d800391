#pragma once

#include <string>

namespace talyx {

// What one call on a HID collection came to. Every error of the operating system is
// translated into this once, where the call is made (FdConnection, the backends); the
// layers above only ever see these six values. The command exchange maps them to its
// result codes in one place (DeviceChannel).
enum class HidStatus {
    Ok,        // the report went out or came in whole
    TimedOut,  // nothing happened within the time-out; nothing stays pending
    Cancelled, // Close() from another thread ended the call, or the object is closed
    Gone,      // the device is not there (any more): unplugged, node removed, peer closed
    NoAccess,  // the node exists but this user may not open it (EACCES, EPERM)
    IoError,   // anything else the system reported
};

// "ok", "time-out", "cancelled", "gone", "no access", "I/O error".
const char* HidStatusText(HidStatus status);

// The status an errno value stands for: EACCES and EPERM are NoAccess; ENOENT, ENODEV,
// ENXIO, ECONNREFUSED, ECONNRESET, EPIPE, ENOTCONN and ESHUTDOWN are Gone; ETIMEDOUT is
// TimedOut; everything else (including 0) is IoError.
HidStatus HidStatusFromErrno(int error);

// HidStatusFromErrno, and for NoAccess and IoError a debug text that says which call on
// which node failed and why ("hid: read /dev/hidraw3: Input/output error (I/O error)").
// Gone and time-outs are the normal life of a device and say nothing.
HidStatus TranslateErrno(int error, const char* call, const std::string& node);

} // namespace talyx
