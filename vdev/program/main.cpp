// talyx-vdev: serves virtual devices on the virtual HID bus (see docs/vdev.md).

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/Paths.h"
#include "vdev/VirtualBus.h"
#include "vdev/VirtualDevice.h"

namespace {

talyx::vdev::VirtualBus* g_bus = nullptr;

void onSignal(int) {
    if (g_bus)
        g_bus->Stop();
}

void usage(FILE* out) {
    std::fprintf(out, "usage: talyx-vdev --bus DIR [options] DEVICE...\n"
                      "\n"
                      "Serves virtual devices on the virtual HID bus in DIR (the folder the program\n"
                      "finds through TALYX_HID_BUS): one socket per collection, named by its device path.\n"
                      "\n"
                      "DEVICE is one of: keyboard, keyboard-receiver, mouse, mouse-receiver, mousepad,\n"
                      "headset. Devices are numbered 0, 1, ... in command-line order.\n"
                      "\n"
                      "options:\n"
                      "  --bus DIR           bus folder (created when missing)\n"
                      "  --control PATH      control socket: one JSON request per line, one JSON reply per\n"
                      "                      line (state, faults, notifications, plugging)\n"
                      "  --keys N            keys the keyboards report (default 104, full size)\n"
                      "  --macro-units N     keyboard macro memory in 128-byte units (default 32)\n"
                      "  --offline           receivers start with the keyboard out of reach\n"
                      "  --unplugged         start with every device unplugged (plug them through control)\n"
                      "  --timing T          bus timing: usb (default: endpoints polled every 1 ms, about\n"
                      "                      1 ms a request and its reply), receiver (every 2 ms, a radio\n"
                      "                      link), fast (answers at once, for quick tests)\n"
                      "  --poll-us N         endpoint poll interval in microseconds (0 = fast)\n"
                      "  -h, --help          this text\n"
                      "\n"
                      "Stops on SIGINT, SIGTERM or the control request {\"cmd\":\"quit\"}, removing its sockets.\n");
}

bool parseInt(const char* text, int& value) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!end || *end || v < 0 || v > 100000)
        return false;
    value = static_cast<int>(v);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    using namespace talyx::vdev;
    std::string busDir;
    std::string controlPath;
    KeyboardOptions keyboard;
    bool offline = false;
    bool unplugged = false;
    int pollUs = static_cast<int>(VirtualBus::kDefaultPollUs);
    std::vector<DeviceKind> kinds;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "talyx-vdev: %s needs a value\n", name);
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "-h" || arg == "--help") {
            usage(stdout);
            return 0;
        } else if (arg == "--bus") {
            busDir = value("--bus");
        } else if (arg == "--control") {
            controlPath = value("--control");
        } else if (arg == "--keys") {
            if (!parseInt(value("--keys"), keyboard.keyCount) || keyboard.keyCount < 1 || keyboard.keyCount > 255) {
                std::fprintf(stderr, "talyx-vdev: --keys takes 1 to 255\n");
                return 2;
            }
        } else if (arg == "--macro-units") {
            if (!parseInt(value("--macro-units"), keyboard.macroUnits) || keyboard.macroUnits > 255) {
                std::fprintf(stderr, "talyx-vdev: --macro-units takes 0 to 255\n");
                return 2;
            }
        } else if (arg == "--offline") {
            offline = true;
        } else if (arg == "--unplugged") {
            unplugged = true;
        } else if (arg == "--timing") {
            if (!ParseTiming(value("--timing"), pollUs)) {
                std::fprintf(stderr, "talyx-vdev: --timing takes usb, receiver or fast\n");
                return 2;
            }
        } else if (arg == "--poll-us") {
            if (!parseInt(value("--poll-us"), pollUs)) {
                std::fprintf(stderr, "talyx-vdev: --poll-us takes 0 to 100000\n");
                return 2;
            }
        } else {
            DeviceKind kind;
            if (!ParseDeviceKind(arg, kind)) {
                std::fprintf(stderr, "talyx-vdev: unknown device or option \"%s\"\n\n", arg.c_str());
                usage(stderr);
                return 2;
            }
            kinds.push_back(kind);
        }
    }
    if (busDir.empty() || kinds.empty()) {
        usage(stderr);
        return 2;
    }
    if (!talyx::MakeDirs(busDir)) {
        std::fprintf(stderr, "talyx-vdev: cannot create %s\n", busDir.c_str());
        return 1;
    }

    VirtualBus bus(busDir);
    bus.SetPollInterval(static_cast<uint32_t>(pollUs));
    for (size_t i = 0; i < kinds.size(); ++i) {
        auto device = std::make_unique<VirtualDevice>(kinds[i], static_cast<int>(i), keyboard);
        if (offline && device->Keyboard())
            device->Keyboard()->SetOnline(false);
        bus.AddDevice(std::move(device));
    }
    std::string error;
    if (!unplugged) {
        for (int i = 0; i < bus.DeviceCount(); ++i) {
            if (!bus.Plug(i, &error)) {
                std::fprintf(stderr, "talyx-vdev: %s\n", error.c_str());
                return 1;
            }
        }
    }
    // The control socket comes last: once it answers, every device socket exists.
    if (!controlPath.empty() && !bus.OpenControl(controlPath, &error)) {
        std::fprintf(stderr, "talyx-vdev: %s\n", error.c_str());
        return 1;
    }

    g_bus = &bus;
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = onSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    for (int i = 0; i < bus.DeviceCount(); ++i) {
        VirtualDevice* d = bus.Device(i);
        for (const CollectionSpec& c : d->Collections())
            std::fprintf(stderr, "talyx-vdev: %s %s/%s\n", DeviceKindName(d->Kind()), busDir.c_str(), c.name.c_str());
    }
    bus.Run();
    g_bus = nullptr;
    return 0;
}
