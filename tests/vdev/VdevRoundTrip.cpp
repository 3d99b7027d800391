// Prints the round-trip time of one command on the virtual bus: talyx-vdev serving a wired
// keyboard on a private bus, the program's own DeviceChannel talking to it.
//
//   build/bin/vdev_roundtrip [COUNT]     (default 2000 commands of each kind)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <vector>

#include "device/transport/DeviceChannel.h"
#include "device/transport/HidDevice.h"
#include "support/TestSupport.h"
#include "vdev/VdevProcess.h"

namespace {

using Clock = std::chrono::steady_clock;

template <class F> void measure(const char* what, int count, F&& command) {
    std::vector<double> us;
    us.reserve(static_cast<size_t>(count));
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        if (command() != talyx::kResultSuccess)
            ++failures;
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(us.begin(), us.end());
    const double mean = std::accumulate(us.begin(), us.end(), 0.0) / static_cast<double>(us.size());
    std::printf("%-34s n=%d  min %.1f us  median %.1f us  p99 %.1f us  mean %.1f us  failures %d\n", what, count,
                us.front(), us[us.size() / 2], us[us.size() * 99 / 100], mean, failures);
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    talyx::test::ScratchDir scratch;
    const std::string bus = scratch.file("bus");
    talyx::vdev::VdevProcess vdev;
    if (!vdev.start(bus, {"keyboard"})) {
        std::fprintf(stderr, "vdev_roundtrip: %s\n", vdev.lastError().c_str());
        return 1;
    }
    talyx::test::ScopedEnv env("TALYX_HID_BUS", bus);
    talyx::DeviceChannel channel;
    const std::string path = "kbd0#vid_320f&pid_5078&mi_01&col04";
    if (!channel.OpenInterface(false, path)) {
        std::fprintf(stderr, "vdev_roundtrip: cannot open %s/%s\n", bus.c_str(), path.c_str());
        return 1;
    }
    uint8_t status[6];
    std::vector<uint8_t> frame(384, 0x20);
    uint8_t record[34];
    measure("0x01 (one packet, no data)", count, [&] { return channel.Cmd01BeginBatch(); });
    measure("0x1A status read (one packet)", count, [&] { return channel.Cmd1AReadStatus(status, 6); });
    measure("0x05 record read (34 bytes, 1 pkt)", count, [&] { return channel.Cmd05Read(0, record, 34); });
    measure("0x12 light frame (384 bytes, 7 pkts)", count,
            [&] { return channel.Cmd12WriteFrame(frame.data(), frame.size()); });
    vdev.stop();
    return 0;
}
