#include "device/DeviceHost.h"

#include <chrono>
#include <thread>

namespace talyx {

void DeviceHost::sleepMs(int milliseconds) {
    if (milliseconds > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace talyx
