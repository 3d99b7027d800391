// Measures how long Close() from one thread takes to end a Read() that waits, with no
// time-out, in another: once over a hidraw collection (a socket pair standing in for the
// node) and once over the virtual bus.
//
//   device_close_latency [rounds]
//
// Prints min, median, 99th percentile and max in microseconds, from the Close() call to
// the reader's return.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "device/transport/HidDevice.h"
#include "tests/device/DeviceTestSupport.h"

using namespace talyx;
using namespace talyx::test;
using Clock = std::chrono::steady_clock;

namespace {

template <class OpenFn> std::vector<double> measure(int rounds, OpenFn open) {
    std::vector<double> latencies;
    for (int i = 0; i < rounds; ++i) {
        HidDevice* hid = open();
        if (!hid) {
            std::fprintf(stderr, "open failed\n");
            std::exit(1);
        }
        std::atomic<bool> waiting{false};
        Clock::time_point returned;
        std::thread reader([&] {
            uint8_t buffer[65];
            size_t n = 0;
            waiting = true;
            hid->Read(buffer, sizeof buffer, &n, -1);
            returned = Clock::now();
        });
        while (!waiting)
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(2)); // well inside poll() by now
        const Clock::time_point closing = Clock::now();
        hid->Close();
        reader.join();
        latencies.push_back(std::chrono::duration<double, std::micro>(returned - closing).count());
        delete hid;
    }
    std::sort(latencies.begin(), latencies.end());
    return latencies;
}

void print(const char* name, const std::vector<double>& v) {
    std::printf("%-12s rounds %zu  min %.1f us  median %.1f us  p99 %.1f us  max %.1f us\n", name, v.size(), v.front(),
                v[v.size() / 2], v[std::min(v.size() - 1, v.size() * 99 / 100)], v.back());
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;

    FakeSysfs sysfs;
    sysfs.addNode(3, 0x320F, 0x5078, 1, descriptors::KeyboardInterface1());
    auto hidraw = std::make_shared<SocketHidraw>(sysfs.classRoot(), sysfs.devRoot());
    const std::string hidrawPath = sysfs.devRoot() + "/hidraw3#vid_320f&pid_5078&mi_01&col04";
    print("hidraw", measure(rounds, [&]() -> HidDevice* {
              auto* hid = new HidDevice(hidraw);
              return hid->Open(hidrawPath, true, true, true, false) ? hid : nullptr;
          }));

    ScratchDir bus;
    const std::string name = "kbd0#vid_320f&pid_5078&mi_01&col04";
    TinyBusDevice device(bus.path(), name,
                         VirtualBusBackend::MakeHello(0x320F, 0x5078, 1, descriptors::VendorCollection()));
    auto virtualBus = std::make_shared<VirtualBusBackend>(bus.path());
    print("virtual bus", measure(rounds, [&]() -> HidDevice* {
              auto* hid = new HidDevice(virtualBus);
              return hid->Open(name, true, true, true, false) ? hid : nullptr;
          }));
    return 0;
}
