#include "device/transport/HidStatus.h"

#include <cerrno>
#include <cstring>

#include "platform/Debug.h"

namespace talyx {

const char* HidStatusText(HidStatus status) {
    switch (status) {
    case HidStatus::Ok:
        return "ok";
    case HidStatus::TimedOut:
        return "time-out";
    case HidStatus::Cancelled:
        return "cancelled";
    case HidStatus::Gone:
        return "gone";
    case HidStatus::NoAccess:
        return "no access";
    case HidStatus::IoError:
        break;
    }
    return "I/O error";
}

HidStatus HidStatusFromErrno(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return HidStatus::NoAccess;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ECONNREFUSED:
    case ECONNRESET:
    case EPIPE:
    case ENOTCONN:
    case ESHUTDOWN:
        return HidStatus::Gone;
    case ETIMEDOUT:
        return HidStatus::TimedOut;
    default:
        return HidStatus::IoError;
    }
}

HidStatus TranslateErrno(int error, const char* call, const std::string& node) {
    const HidStatus status = HidStatusFromErrno(error);
    if (status == HidStatus::NoAccess || status == HidStatus::IoError) {
        char reason[128] = "unknown error";
        // The GNU strerror_r returns its text rather than filling the buffer.
        const char* text = strerror_r(error, reason, sizeof reason);
        DebugOutput(std::string("hid: ") + call + " " + node + ": " + (text ? text : reason) + " (" +
                    HidStatusText(status) + ")");
    }
    return status;
}

} // namespace talyx
