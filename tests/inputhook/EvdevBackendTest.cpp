// The evdev backend against a fake input tree: keyboards and mice found and followed,
// repeats and lost reports, grabs only when every key is up and only with a lock-key sink,
// lock keys passed on, and every way a recording ends giving the keyboards back.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include "inputhook/CDeviceHook.h"
#include "inputhook/EvdevInputBackend.h"
#include "inputhook/ScanCodes.h"
#include "keyboard/KeyTables.h"
#include "platform/MessageTarget.h"
#include "tests/inputhook/FakeInputTree.h"

using namespace talyx;
using talyx::test::eventually;
using Kind = talyx::EvdevSystem::Kind;

namespace {

class Collected {
public:
    InputHookBackend::Sink sink() {
        return [this](const HookEvent& e) {
            std::lock_guard<std::mutex> lock(m_lock);
            m_events.push_back(e);
        };
    }
    // "key 1e down 1000", "mouse 4 up 20", "ended reader".
    std::vector<std::string> lines() {
        std::lock_guard<std::mutex> lock(m_lock);
        std::vector<std::string> out;
        char b[64];
        for (const HookEvent& e : m_events) {
            if (e.kind == HookEvent::Kind::Key)
                std::snprintf(b, sizeof b, "key %02x%s %s %llu", e.scanCode, e.extended ? "e" : "",
                              e.down ? "down" : "up", static_cast<unsigned long long>(e.timeMs));
            else if (e.kind == HookEvent::Kind::Mouse)
                std::snprintf(b, sizeof b, "mouse %d %s %llu", e.button, e.down ? "down" : "up",
                              static_cast<unsigned long long>(e.timeMs));
            else
                std::snprintf(b, sizeof b, "ended %s", e.reason.c_str());
            out.push_back(b);
        }
        return out;
    }
    size_t size() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_events.size();
    }

private:
    std::mutex m_lock;
    std::vector<HookEvent> m_events;
};

} // namespace

TEST(EvdevScanCodes, EveryPlainKeyOfTheKeyTableHasAnInputCode) {
    for (int row = 0; row < kPlainKeyRows; ++row) {
        const KeyScanCode want = kPlainKeyScanCodes[row];
        bool found = false;
        for (int code = 1; code < 256 && !found; ++code) {
            uint8_t scan = 0;
            bool extended = false;
            found = Set1OfEvdevKey(code, scan, extended) && scan == want.code && extended == want.extended;
        }
        EXPECT_TRUE(found) << kKeyNameTable[row].name << " 0x" << std::hex << int(want.code)
                           << (want.extended ? " extended" : "");
    }
    uint8_t scan = 0;
    bool extended = false;
    EXPECT_FALSE(Set1OfEvdevKey(0, scan, extended));
    EXPECT_FALSE(Set1OfEvdevKey(BTN_LEFT, scan, extended));
}

TEST(EvdevBackend, KeysAndButtonsOfEveryDeviceRepeatsAndLostReportsDropped) {
    test::InputTree tree;
    tree.add("event0", Kind::Keyboard);
    tree.add("event1", Kind::Mouse);
    tree.add("event2", Kind::Other);
    EvdevInputBackend backend(tree.system());
    Collected got;
    ASSERT_TRUE(backend.Start(got.sink(), false));
    EXPECT_EQ(backend.DeviceCount(), 2) << "a device that is neither keyboard nor mouse is not kept";

    tree.key("event0", KEY_A, 1, 1000);
    tree.key("event0", KEY_A, 2, 1030); // repeat
    tree.key("event0", KEY_A, 0, 1120);
    tree.key("event0", KEY_RIGHTCTRL, 1, 1200);
    tree.key("event0", KEY_RIGHTCTRL, 0, 1210);
    // A lost report: what the kernel still had of it is skipped up to the next report.
    tree.write("event0", EV_SYN, SYN_DROPPED, 0, 1300);
    tree.write("event0", EV_KEY, KEY_B, 1, 1301);
    tree.write("event0", EV_SYN, SYN_REPORT, 0, 1301);
    tree.key("event0", KEY_C, 1, 1400);
    for (int button : {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE, BTN_SIDE, BTN_EXTRA}) {
        tree.key("event1", button, 1, 2000);
        tree.key("event1", button, 0, 2001);
    }
    tree.write("event1", EV_REL, REL_X, 5, 2002);
    const std::vector<std::string> expected = {
        "key 1e down 1000",  "key 1e up 1120",    "key 1de down 1200", "key 1de up 1210",   "key 2e down 1400",
        "mouse 1 down 2000", "mouse 1 up 2001",   "mouse 2 down 2000", "mouse 2 up 2001",   "mouse 3 down 2000",
        "mouse 3 up 2001",   "mouse 4 down 2000", "mouse 4 up 2001",   "mouse 5 down 2000", "mouse 5 up 2001"};
    ASSERT_TRUE(eventually([&] { return got.size() >= expected.size(); })) << ::testing::PrintToString(got.lines());
    // The order of the two devices is not fixed; each device's own is.
    std::vector<std::string> keys, mouse;
    for (const std::string& l : got.lines())
        (l[0] == 'k' ? keys : mouse).push_back(l);
    EXPECT_EQ(keys, std::vector<std::string>(expected.begin(), expected.begin() + 5));
    EXPECT_EQ(mouse, std::vector<std::string>(expected.begin() + 5, expected.end()));
    EXPECT_TRUE(tree.grabs().empty()) << "nothing is grabbed without exclusive use";
    backend.Stop();
    EXPECT_EQ(tree.openCount(), 0u);
}

TEST(EvdevBackend, KeyboardsGrabbedOnlyWhenAllKeysAreUpAndLockKeysPassedOn) {
    test::InputTree tree;
    tree.add("event0", Kind::Keyboard);
    tree.add("event1", Kind::Keyboard);
    tree.add("event2", Kind::Mouse);
    tree.setKeyDown("event1", true); // a key of the second keyboard is held at the start
    EvdevInputBackend backend(tree.system());
    Collected got;
    ASSERT_TRUE(backend.Start(got.sink(), true));
    EXPECT_TRUE(tree.grabbed("event0"));
    EXPECT_FALSE(tree.grabbed("event1")) << "grabbing now would leave its key pressed for the desktop";
    EXPECT_FALSE(tree.grabbed("event2")) << "mice are never grabbed";
    tree.setKeyDown("event1", false);
    tree.key("event1", KEY_LEFTSHIFT, 0, 10);
    ASSERT_TRUE(eventually([&] { return tree.grabbed("event1"); }));
    EXPECT_EQ(backend.GrabbedCount(), 2);

    // Lock keys are recorded and still reach the desktop through the sink; other keys do not.
    tree.key("event0", KEY_CAPSLOCK, 1, 20);
    tree.key("event0", KEY_CAPSLOCK, 2, 25);
    tree.key("event0", KEY_CAPSLOCK, 0, 30);
    tree.key("event0", KEY_A, 1, 40);
    tree.key("event1", KEY_NUMLOCK, 1, 50);
    tree.key("event1", KEY_NUMLOCK, 0, 60);
    tree.key("event0", KEY_SCROLLLOCK, 1, 70);
    tree.key("event0", KEY_SCROLLLOCK, 0, 80);
    ASSERT_TRUE(eventually([&] { return got.size() >= 7; }));
    std::vector<std::string> injected = tree.injected();
    std::sort(injected.begin(), injected.end()); // two keyboards: their order is not fixed
    EXPECT_EQ(injected, std::vector<std::string>({"58 0", "58 1", "69 0", "69 1", "70 0", "70 1"}));
    EXPECT_EQ(got.lines()[0], "key 3a down 20") << "the release of a key held before the start is no action";

    // A keyboard that goes mid-recording is dropped; the others stay grabbed.
    tree.unplug("event1");
    ASSERT_TRUE(eventually([&] { return backend.DeviceCount() == 2; }));
    EXPECT_EQ(backend.GrabbedCount(), 1);
    // One that comes is followed, and grabbed once its keys are up.
    tree.add("event3", Kind::Keyboard);
    ASSERT_TRUE(eventually([&] { return tree.grabbed("event3"); }));
    tree.key("event3", KEY_Z, 1, 90);
    ASSERT_TRUE(eventually([&] { return got.lines().back() == "key 2c down 90"; }));

    backend.Stop();
    EXPECT_FALSE(tree.grabbed("event0"));
    EXPECT_FALSE(tree.grabbed("event3"));
    EXPECT_EQ(tree.openCount(), 0u);
    EXPECT_FALSE(tree.shared->lockKeysOpen);
}

TEST(EvdevBackend, WithoutUinputNoKeyboardIsGrabbedAndAFailingReaderGivesEverythingBack) {
    test::InputTree tree;
    tree.add("event0", Kind::Keyboard);
    tree.shared->uinput = false;
    {
        EvdevInputBackend backend(tree.system());
        Collected got;
        ASSERT_TRUE(backend.Start(got.sink(), true));
        tree.key("event0", KEY_CAPSLOCK, 1, 1);
        ASSERT_TRUE(eventually([&] { return got.size() == 1; }));
        EXPECT_TRUE(tree.grabs().empty()) << "a grab without the sink would leave Caps Lock dead";
    }
    tree.shared->uinput = true;
    EvdevInputBackend backend(tree.system());
    Collected got;
    ASSERT_TRUE(backend.Start(got.sink(), true));
    ASSERT_TRUE(tree.grabbed("event0"));
    backend.FailReader();
    backend.Wake();
    ASSERT_TRUE(eventually([&] { return got.size() == 1; }));
    EXPECT_EQ(got.lines(), std::vector<std::string>({"ended reader"}));
    EXPECT_FALSE(tree.grabbed("event0"));
    EXPECT_EQ(tree.openCount(), 0u);
    backend.Stop();

    // With no keyboard to read (no access), the backend does not start.
    test::InputTree empty;
    empty.add("event0", Kind::Mouse);
    EvdevInputBackend none(empty.system());
    EXPECT_FALSE(none.Start(got.sink(), true));
    EXPECT_EQ(empty.openCount(), 0u);
}

TEST(EvdevBackend, TheHookSendsItsRecordsFromTheReaderThroughTheWindowsQueue) {
    struct Window : MessageTarget {
        std::atomic<int> posted{0};
        std::vector<std::string> sent;
        bool postMessage(uint32_t, WPARAM, LPARAM) override { return ++posted, true; }
        LRESULT sendMessage(uint32_t msg, WPARAM w, LPARAM l) override {
            char b[96];
            bool mouse = false;
            const int mode = HookModeOfMessage(msg, mouse);
            if (mouse) {
                const auto* r = reinterpret_cast<const MouseHookRecord*>(l);
                std::snprintf(b, sizeof b, "%d mouse %u %d,%d %x", mode, unsigned(w), r->x, r->y, r->buttonData);
            } else {
                const auto* r = reinterpret_cast<const KeyboardHookRecord*>(l);
                std::snprintf(b, sizeof b, "%d key %u %02x %x vk%02x t%u", mode, unsigned(w), r->scanCode, r->flags,
                              r->virtualKey, r->time);
            }
            sent.push_back(b);
            return 0;
        }
    } window;
    test::InputTree tree;
    tree.add("event0", Kind::Keyboard);
    tree.add("event1", Kind::Mouse);
    CDeviceHook hook;
    hook.SetBackends(std::make_unique<EvdevInputBackend>(tree.system()), nullptr);
    hook.SetCursorSource([](int32_t& x, int32_t& y) {
        x = 300;
        y = 200;
        return true;
    });
    EXPECT_EQ(hook.Install(7, kHookModeSingleKey, &window, true, true), 0) << "key capture is the window's own";
    ASSERT_EQ(hook.Install(7, kHookModeLater, &window, true, true), 1);
    EXPECT_EQ(hook.BackendName(), "evdev");
    tree.key("event0", KEY_LEFTALT, 1, 5);
    tree.key("event0", KEY_KPENTER, 1, 6);
    tree.key("event1", BTN_EXTRA, 1, 7);
    std::vector<std::string> all;
    ASSERT_TRUE(eventually([&] {
        if (window.posted.load() > 0) {
            window.posted = 0;
            hook.Deliver();
        }
        return window.sent.size() >= 3;
    }));
    EXPECT_EQ(window.sent[0], "16 key 260 38 0 vka4 t5");
    EXPECT_EQ(window.sent[1], "16 key 260 1c 1 vk101 t6");
    EXPECT_EQ(window.sent[2], "16 mouse 523 300,200 20000");
    hook.Uninstall();
    EXPECT_FALSE(tree.grabbed("event0"));
}
