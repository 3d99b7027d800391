#pragma once

#include <cstdint>

namespace talyx {

// What the device core needs of one key or light button of its page. The page half
// implements it over its own control; tests use a fake.
class DeviceButton {
public:
    virtual ~DeviceButton() = default;
    virtual bool isVisible() const = 0;
    // Shows a light's colour and brightness (0..255) on the button.
    virtual void showLightColour(uint8_t r, uint8_t g, uint8_t b, uint8_t brightness) = 0;
    virtual void setEnabled(bool enabled) = 0;
};

} // namespace talyx
