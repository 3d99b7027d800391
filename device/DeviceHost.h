#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace talyx {

class DeviceButton;

// What the device core asks of its page and of the main window. The page half (controls,
// selector item, tab layouts) implements it on the user-interface thread; tests use a
// fake that records the calls. Every member has a do-nothing default so that a host
// implements only what it has.
class DeviceHost {
public:
    virtual ~DeviceHost() = default;

    // The "DeviceKeyButton" children of the page's "SelectPanel", with their control names
    // ("key_12", "light_12"). False when the page has no layout or no such panel.
    virtual bool panelButtons(std::vector<std::pair<std::string, DeviceButton*>>& buttons) {
        (void)buttons;
        return false;
    }

    // Arms a one-shot timer of the device's selector item (ids 1000 to 1007).
    virtual void armSelectorTimer(int timerId, int milliseconds) {
        (void)timerId;
        (void)milliseconds;
    }
    // The selector item's index, carried by message 3331 to the main window.
    virtual int selectorIndex() const { return -1; }

    // Selects a tab of one of the page's tab layouts ("device_function_switch",
    // "device_key_function_switch").
    virtual void selectTab(const std::string& tabLayout, int index) {
        (void)tabLayout;
        (void)index;
    }

    virtual void showBatteryIndicator(bool shown) { (void)shown; }
    // The device's status bytes for its battery indicator: byte 0 the charge in percent,
    // byte 1 charging (1) or not (0), byte 3 1 on a wireless-capable device.
    virtual void showBatteryStatus(const uint8_t* status, size_t length) {
        (void)status;
        (void)length;
    }

    // The core's lists, key captions, lighting and settings values are current: show them
    // (the page's refresh). Called on the user-interface thread.
    virtual void refreshPage() {}
    // Asks for the page's refresh on the user-interface thread. May be called from any
    // thread (the notification listener); the page runs the device's refresh later.
    virtual void requestPageRefresh() {}

    // The profile object's three page values.
    virtual void storeProfileValues(int a, int b, int c) {
        (void)a;
        (void)b;
        (void)c;
    }
    // False when there is no profile object yet.
    virtual bool loadProfileValues(int& a, int& b, int& c) const {
        (void)a;
        (void)b;
        (void)c;
        return false;
    }

    // Pauses the calling thread (the retries of the wireless hand-over when no worker
    // thread runs). Tests record the pauses instead of sleeping.
    virtual void sleepMs(int milliseconds);

    // Runs fn on the user-interface thread later: how the command worker's results reach
    // the page. May be called from any thread. The page drops what is still queued when it
    // is destroyed. The default runs fn at once on the calling thread (hosts without an
    // interface thread).
    virtual void postToInterface(std::function<void()> fn) { fn(); }
};

} // namespace talyx
