// The light frame pipeline of the keyboard: one engine step over the 170 slots, the
// 384-byte streamed frame, and the seven 64-byte packets with their checksums that carry
// it, against a connection that answers at once (no bus, no device).
//
//   build/bin/keyboard_frame_bench [--benchmark_min_time=2]

#include <cstring>
#include <memory>
#include <mutex>

#include <benchmark/benchmark.h>

#include "device/transport/DeviceChannel.h"
#include "device/transport/HidBackend.h"
#include "devicecore/FakeHid.h"
#include "keyboard/CKestravaKeyboardDevice.h"
#include "keyboard/KeyboardLightEngine.h"
#include "vdev/KeyboardFirmware.h"

namespace talyx {
namespace {

// Answers every request with a success reply of the same command. With a firmware model it
// answers as the keyboard does (the set-up reads a real key table through it).
class InstantConnection : public HidConnection {
public:
    explicit InstantConnection(vdev::KeyboardFirmware* firmware) : m_firmware(firmware) {}
    HidStatus read(uint8_t* buffer, size_t len, size_t& got, int) override {
        got = std::min(len, sizeof m_reply);
        std::memcpy(buffer, m_reply, got);
        return HidStatus::Ok;
    }
    HidStatus write(const uint8_t* buffer, size_t len, size_t& written, int) override {
        if (m_firmware) {
            const std::vector<uint8_t> reply = m_firmware->Handle(buffer, len);
            std::memcpy(m_reply, reply.data(), std::min(reply.size(), sizeof m_reply));
        } else {
            std::memset(m_reply, 0, sizeof m_reply);
            m_reply[0] = buffer[0];
            m_reply[3] = buffer[3];
        }
        written = len;
        return HidStatus::Ok;
    }
    void cancel() override {}

private:
    vdev::KeyboardFirmware* m_firmware;
    uint8_t m_reply[64] = {};
};

class InstantBackend : public HidBackend {
public:
    explicit InstantBackend(vdev::KeyboardFirmware* firmware = nullptr) : m_firmware(firmware) {}
    bool enumerate(std::vector<std::string>& paths) override {
        paths = {"bench#vid_320f&pid_5078&mi_01&col04"};
        return true;
    }
    HidStatus open(const std::string&, bool, bool, HidNodeInfo& info,
                   std::unique_ptr<HidConnection>& connection) override {
        info.attributes.vendorId = 0x320F;
        info.attributes.productId = 0x5078;
        info.reportDescriptor = test::VendorDescriptor();
        connection = std::make_unique<InstantConnection>(m_firmware);
        return HidStatus::Ok;
    }
    bool probe(const std::string&) override { return true; }

private:
    vdev::KeyboardFirmware* m_firmware;
};

KeyboardLightSetting settingFor(int mode) {
    KeyboardLightSetting s;
    s.mode = mode;
    s.brightness = 4;
    s.speed = 4;
    s.multiColor = true;
    return s;
}

// One step of a mode's routine (with the overlays recomposing the frame), by mode value:
// 6 static, 5 breathing, 3 path wave, 15 meteor, 24 vortex, 25 reactive ripple.
void BM_EngineStep(benchmark::State& state) {
    KeyboardLightEngine engine(1);
    engine.Apply(settingFor(static_cast<int>(state.range(0))));
    SlotEffect effect;
    effect.enabled = true;
    engine.SetSlotEffect(64, effect);
    int i = 0;
    for (auto _ : state) {
        if (++i % 16 == 0)
            engine.KeyEvent(64 + (i / 16) % 10, 1);
        engine.Step();
        engine.Overlays();
        benchmark::DoNotOptimize(engine.SlotColour(64));
    }
    state.SetItemsProcessed(state.iterations() * kKeySlots);
}
BENCHMARK(BM_EngineStep)->Arg(6)->Arg(5)->Arg(3)->Arg(15)->Arg(24)->Arg(25);

struct Keyboard {
    Keyboard() : backend(std::make_shared<InstantBackend>(&firmware)), kb(backend) {
        kb.Channel().OpenInterface(false, "bench#vid_320f&pid_5078&mi_01&col04");
        kb.ReadKeyTable();
        kb.Engine().Apply(settingFor(24));
        kb.Engine().Step();
    }
    vdev::KeyboardFirmware firmware;
    std::shared_ptr<InstantBackend> backend;
    CKestravaKeyboardDevice kb;
};

// The 384-byte frame from the 170-slot frame through the LED map.
void BM_StreamFrame(benchmark::State& state) {
    Keyboard k;
    for (auto _ : state)
        benchmark::DoNotOptimize(k.kb.BuildStreamFrame());
    state.SetBytesProcessed(state.iterations() * CKestravaKeyboardDevice::kStreamFrameBytes);
}
BENCHMARK(BM_StreamFrame);

// Seven packets with checksums through the channel's quiet frame transaction.
void BM_FramePackets(benchmark::State& state) {
    DeviceChannel channel(std::make_shared<InstantBackend>());
    channel.OpenInterface(false, "bench#vid_320f&pid_5078&mi_01&col04");
    uint8_t frame[CKestravaKeyboardDevice::kStreamFrameBytes];
    for (size_t i = 0; i < sizeof frame; ++i)
        frame[i] = static_cast<uint8_t>(i * 7);
    for (auto _ : state) {
        if (channel.Cmd12WriteFrame(frame, sizeof frame) != kResultSuccess)
            state.SkipWithError("frame refused");
    }
    state.SetItemsProcessed(state.iterations() * 7);
}
BENCHMARK(BM_FramePackets);

// The whole pipeline of one frame: step, overlays, streamed frame, seven packets.
void BM_FramePipeline(benchmark::State& state) {
    Keyboard k;
    for (auto _ : state) {
        k.kb.LightStep();
        k.kb.LightOverlays();
        if (k.kb.SendLightFrame() != kResultSuccess)
            state.SkipWithError("frame refused");
    }
}
BENCHMARK(BM_FramePipeline);

} // namespace
} // namespace talyx

BENCHMARK_MAIN();
