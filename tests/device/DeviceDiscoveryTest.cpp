// The scan thread woken by the system instead of a timer: the virtual bus folder watched
// with inotify, hidraw uevents fed through a socket pair, and a supported device whose
// node may not be opened.

#include <cstring>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "device/DeviceScanThread.h"
#include "device/SupportedDeviceTable.h"
#include "device/transport/UeventWatch.h"
#include "platform/Debug.h"
#include "platform/WorkerThread.h"
#include "tests/device/DeviceTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/workers/WorkerTestSupport.h"

using namespace talyx;
using namespace talyx::test;

namespace {

constexpr uint32_t kInstance = 0xC123;
constexpr uint32_t kArrived = DeviceScanThread::kMsgDeviceArrived;
constexpr uint32_t kRemoved = DeviceScanThread::kMsgDeviceRemoved;
constexpr uint32_t kNoAccess = DeviceScanThread::kMsgDeviceNoAccess;

std::string kernelUevent(const std::string& action, const std::string& subsystem, const std::string& name) {
    const std::string nul(1, '\0');
    return action + "@/devices/usb1/1-3/" + name + nul + "ACTION=" + action + nul + "SUBSYSTEM=" + subsystem + nul +
           "DEVNAME=" + name + nul;
}

// udev's form: its header, then the same properties.
std::string udevUevent(const std::string& action, const std::string& subsystem, const std::string& name) {
    const std::string nul(1, '\0');
    const std::string properties =
        "ACTION=" + action + nul + "SUBSYSTEM=" + subsystem + nul + "DEVNAME=/dev/" + name + nul;
    std::string header(40, '\0');
    std::memcpy(&header[0], "libudev", 8);
    const uint8_t magic[4] = {0xfe, 0xed, 0xca, 0xfe};
    std::memcpy(&header[8], magic, 4);
    const uint32_t fields[3] = {40, 40, static_cast<uint32_t>(properties.size())};
    std::memcpy(&header[12], fields, sizeof fields);
    return header + properties;
}

// A scan thread with its window; the scan stops itself when the rig goes.
struct ScanRig {
    SupportedDeviceTable table;
    RecordingWindow window;
    WorkerThread worker;
    std::unique_ptr<DeviceScanThread> scan;

    explicit ScanRig(std::shared_ptr<HidBackend> backend)
        : scan(std::make_unique<DeviceScanThread>(table, window, kInstance, std::move(backend))) {}
    // Runs `count` more passes.
    void passes(uint64_t count) {
        const uint64_t target = scan->Passes() + count;
        while (scan->Passes() < target) {
            scan->Rescan();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    // Waits until the pass that was running or due after `before` passes has ended.
    void passEnded(uint64_t before) {
        while (scan->Passes() <= before)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    double msSinceFor(uint32_t msg, SteadyClock::time_point since) {
        for (const auto& m : window.messages())
            if (m.msg == msg && m.at >= since)
                return std::chrono::duration<double, std::milli>(m.at - since).count();
        return -1;
    }
};

// A socket pair whose one end is the scan's uevent source.
struct UeventPipe {
    int fds[2] = {-1, -1};
    UeventPipe() { ::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, fds); }
    ~UeventPipe() { ::close(fds[1]); }
    std::unique_ptr<UeventWatch> watch() { return std::make_unique<UeventWatch>(fds[0], "hidraw", false); }
    void send(const std::string& message) {
        ASSERT_EQ(::send(fds[1], message.data(), message.size(), 0), ssize_t(message.size()));
    }
};

} // namespace

TEST(DeviceDiscovery, UeventsOfBothSendersAreParsedAndOthersRefused) {
    UeventWatch::Uevent e;
    const std::string kernel = kernelUevent("add", "hidraw", "hidraw3");
    ASSERT_TRUE(UeventWatch::Parse(reinterpret_cast<const uint8_t*>(kernel.data()), kernel.size(), e));
    EXPECT_EQ(e.action, "add");
    EXPECT_EQ(e.subsystem, "hidraw");
    EXPECT_EQ(e.devName, "hidraw3");
    const std::string udev = udevUevent("remove", "hidraw", "hidraw4");
    ASSERT_TRUE(UeventWatch::Parse(reinterpret_cast<const uint8_t*>(udev.data()), udev.size(), e));
    EXPECT_EQ(e.action, "remove");
    EXPECT_EQ(e.devName, "hidraw4");

    std::string badMagic = udev;
    badMagic[8] = 0;
    std::string pastTheEnd = udev;
    const uint32_t tooLong = 4096;
    std::memcpy(&pastTheEnd[20], &tooLong, 4);
    for (const std::string& bad : {badMagic, pastTheEnd, std::string("ACTION=add"), std::string()})
        EXPECT_FALSE(UeventWatch::Parse(reinterpret_cast<const uint8_t*>(bad.data()), bad.size(), e)) << bad.size();
}

// The bus's folder does not exist yet when the scan starts (the bus is started after the
// program): its parent is watched until it comes.
TEST(DeviceDiscovery, TheWatchedBusFolderBringsArrivalAndRemovalAtOnce) {
    ScratchDir root;
    const std::string folder = root.file("bus");
    ScanRig rig(std::make_shared<VirtualBusBackend>(folder));
    ASSERT_TRUE(rig.scan->Start(rig.worker));
    ASSERT_TRUE(rig.window.waitFor(kInstance, 1, 2000));
    rig.passEnded(0);
    EXPECT_TRUE(rig.scan->Watching());
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    // Idle, the scan sleeps; a file that is no collection does not wake it.
    const uint64_t idle = rig.scan->Passes();
    std::ofstream(folder + "/notes.txt") << "x";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_LE(rig.scan->Passes() - idle, 1u);

    const uint64_t beforeArrival = rig.scan->Passes();
    const auto plugged = SteadyClock::now();
    auto device = std::make_unique<TinyBusDevice>(
        folder, "kbd0#vid_320f&pid_5078&mi_01&col04",
        VirtualBusBackend::MakeHello(0x320F, 0x5078, 1, descriptors::VendorCollection()));
    ASSERT_TRUE(rig.window.waitFor(kArrived, 1, 3000));
    const double arrivalMs = rig.msSinceFor(kArrived, plugged);
    rig.passEnded(beforeArrival);

    const auto unplugged = SteadyClock::now();
    device->unplug();
    ASSERT_TRUE(rig.window.waitFor(kRemoved, 1, 3000));
    const double removalMs = rig.msSinceFor(kRemoved, unplugged);
    std::printf("[ figure ] watched bus: arrival after %.1f ms, removal after %.1f ms (rescan every %d ms)\n",
                arrivalMs, removalMs, DeviceScanThread::kRescanMs);
    // Far below the slow rescan: the watch woke the scan, not its safety net.
    EXPECT_LT(arrivalMs, 1000.0);
    EXPECT_LT(removalMs, 1000.0);
    EXPECT_EQ(rig.window.params(kArrived), (std::vector<WPARAM>{0}));
    EXPECT_EQ(rig.window.params(kRemoved), (std::vector<WPARAM>{0}));
}

TEST(DeviceDiscovery, HidrawUeventsWakeTheScanAndOtherSubsystemsDoNot) {
    FakeSysfs sysfs;
    ScanRig rig(std::make_shared<SocketHidraw>(sysfs.classRoot(), sysfs.devRoot()));
    UeventPipe uevents;
    rig.scan->UseWatch(uevents.watch());
    ASSERT_TRUE(rig.scan->Start(rig.worker));
    ASSERT_TRUE(rig.window.waitFor(kInstance, 1, 2000));
    rig.passEnded(0);

    sysfs.addNode(3, 0x320F, 0x5078, 1, descriptors::KeyboardInterface1());
    const uint64_t before = rig.scan->Passes();
    uevents.send(kernelUevent("add", "usb", "1-3"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(rig.scan->Passes(), before) << "a usb uevent started a pass";
    EXPECT_TRUE(rig.window.params(kArrived).empty());

    const auto added = SteadyClock::now();
    uevents.send(kernelUevent("add", "hidraw", "hidraw3"));
    ASSERT_TRUE(rig.window.waitFor(kArrived, 2, 3000));
    const double arrivalMs = rig.msSinceFor(kArrived, added);
    rig.passEnded(before);

    sysfs.removeNode(3);
    const auto removed = SteadyClock::now();
    uevents.send(udevUevent("remove", "hidraw", "hidraw3"));
    ASSERT_TRUE(rig.window.waitFor(kRemoved, 2, 3000));
    std::printf("[ figure ] hidraw uevents: arrival after %.1f ms, removal after %.1f ms\n", arrivalMs,
                rig.msSinceFor(kRemoved, removed));
    EXPECT_LT(arrivalMs, 1000.0);
    EXPECT_LT(rig.msSinceFor(kRemoved, removed), 1000.0);
}

// The node exists but this user may not open it (EACCES from the backend's open seam,
// which works even where the tests run as root and file modes stop nobody).
TEST(DeviceDiscovery, ADeviceThatMayNotBeOpenedIsReportedOnceWithItsNode) {
    FakeSysfs sysfs;
    sysfs.addNode(3, 0x320F, 0x5078, 1, descriptors::KeyboardInterface1());
    auto backend = std::make_shared<SocketHidraw>(sysfs.classRoot(), sysfs.devRoot());
    backend->openError = EACCES;
    ScanRig rig(backend);
    UeventPipe uevents;
    rig.scan->UseWatch(uevents.watch());
    DebugCapture debug;
    ASSERT_TRUE(rig.scan->Start(rig.worker));
    ASSERT_TRUE(rig.window.waitFor(kNoAccess, 1, 2000));
    rig.passes(3);

    const std::string node = sysfs.devRoot() + "/hidraw3";
    const std::vector<InaccessibleDevice> blocked = rig.table.InaccessibleDevices();
    ASSERT_EQ(blocked.size(), 1u); // one entry for the node, not one per collection
    EXPECT_EQ(blocked[0].node, node);
    EXPECT_EQ(blocked[0].row, 0) << "the keyboard's main row names it";
    EXPECT_EQ(blocked[0].path, node + "#vid_320f&pid_5078&mi_01&col04");
    auto noAccess = [&] {
        std::vector<std::pair<WPARAM, LPARAM>> out;
        for (const auto& m : rig.window.messages())
            if (m.msg == kNoAccess)
                out.emplace_back(m.wParam, m.lParam);
        return out;
    };
    EXPECT_EQ(noAccess(), (std::vector<std::pair<WPARAM, LPARAM>>{{0, 1}})) << "reported once, not every pass";
    EXPECT_TRUE(rig.window.params(kArrived).empty());
    EXPECT_TRUE(debug.contains(HidrawBackend::PermissionText(node)));

    // The udev rule is installed and triggered: udev's change event brings the device in and
    // every report is taken back. (A pass already under way when the rule applies may find
    // one collection still refused and report that one first.)
    backend->openError = 0;
    uevents.send(udevUevent("change", "hidraw", "hidraw3"));
    ASSERT_TRUE(rig.window.waitFor(kArrived, 2, 3000));
    const auto stillReported = [&] {
        std::map<WPARAM, LPARAM> last;
        for (const auto& [row, blocked] : noAccess())
            last[row] = blocked;
        std::vector<WPARAM> rows;
        for (const auto& [row, blocked] : last)
            if (blocked)
                rows.push_back(row);
        return rows;
    };
    test::waitFor([&] { return stillReported().empty() && rig.table.InaccessibleDevices().empty(); });
    EXPECT_EQ(stillReported(), std::vector<WPARAM>{});
    EXPECT_TRUE(rig.table.InaccessibleDevices().empty());
}
