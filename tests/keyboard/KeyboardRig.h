#pragma once

// A keyboard device talking to the keyboard's firmware model in-process, through a fake HID
// link, with a private data folder and a host and main window that record what they get.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <json/value.h>

#include "device/DeviceHost.h"
#include "devicecore/FakeHid.h"
#include "keyboard/CKestravaKeyboardDevice.h"
#include "platform/JsonFile.h"
#include "platform/MessageTarget.h"
#include "platform/Paths.h"
#include "support/RecordingWindow.h"
#include "support/TestSupport.h"
#include "vdev/KeyboardFirmware.h"
#include "vdev/VdevFraming.h"

namespace talyx::test {

class RecordingHost : public DeviceHost {
public:
    void showBatteryStatus(const uint8_t* status, size_t length) override {
        battery.assign(status, status + length);
        ++batteryCalls;
    }
    void refreshPage() override { ++refreshes; }
    void requestPageRefresh() override { ++refreshRequests; }
    void sleepMs(int ms) override { sleeps.push_back(ms); }

    std::vector<uint8_t> battery;
    int batteryCalls = 0;
    int refreshes = 0;
    int refreshRequests = 0;
    std::vector<int> sleeps;
};

struct KeyboardRig {
    explicit KeyboardRig(const vdev::KeyboardOptions& options = vdev::KeyboardOptions())
        : firmware(options), keyboard(backend) {
        link = backend->link("kbd0#vid_320f&pid_5078&mi_01&col04");
        link->responder = [this](const Packet& request) -> std::vector<Packet> {
            if (refuse && refuse(request))
                return {Reply(request[3], 0xFE)};
            return {firmware.Handle(request.data(), request.size())};
        };
        keyboard.SetHost(&host);
        keyboard.SetMainWindow(&window);
        keyboard.Channel().OpenInterface(false, "kbd0#vid_320f&pid_5078&mi_01&col04");
    }

    // The per-user folder of the keyboard family inside the private data folder.
    std::string folder() const { return keyboard.ProfileFolder(); }
    void writeJson(const std::string& name, const Json::Value& value) const {
        writejsonFile(JoinPath(folder(), name), value);
    }
    // Requests written so far with this command id.
    std::vector<Packet> sent(uint8_t command) const {
        std::vector<Packet> out;
        for (const Packet& p : link->writtenPackets()) {
            if (p[3] == command)
                out.push_back(p);
        }
        return out;
    }
    // The command ids written so far, in order, with runs of one id folded into one.
    std::vector<uint8_t> commandOrder() const {
        std::vector<uint8_t> order;
        for (const Packet& p : link->writtenPackets()) {
            if (order.empty() || order.back() != p[3])
                order.push_back(p[3]);
        }
        return order;
    }
    void clearSent() {
        std::lock_guard<std::mutex> lock(link->mutex);
        link->written.clear();
    }
    // The data bytes of the chunks of one command, placed by their offsets less `base`.
    std::vector<uint8_t> sentData(uint8_t command, size_t base = 0) const {
        std::vector<uint8_t> out;
        for (const Packet& p : sent(command)) {
            const size_t offset = (p[5] | (p[6] << 8)) - base;
            if (out.size() < offset + p[4])
                out.resize(offset + p[4]);
            std::copy(p.begin() + 8, p.begin() + 8 + p[4], out.begin() + static_cast<long>(offset));
        }
        return out;
    }

    ScratchDir scratch;
    ScopedEnv dataHome{"XDG_DATA_HOME", scratch.path()};
    std::shared_ptr<FakeBackend> backend = std::make_shared<FakeBackend>();
    std::shared_ptr<FakeLink> link;
    vdev::KeyboardFirmware firmware;
    // When set and true for a request, the keyboard answers it with status 0xFE.
    std::function<bool(const Packet&)> refuse;
    RecordingHost host;
    RecordingWindow window;
    CKestravaKeyboardDevice keyboard;
};

} // namespace talyx::test
