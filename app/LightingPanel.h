#pragma once

#include <QPointer>
#include <functional>
#include <vector>

#include "profile/DefaultLightNames.h"
#include "profile/ProfileRecords.h"
#include "ui/UIDefs.h"

namespace talyx {

class CControlUI;

// The lighting panel of a device page ("LightControlItem"): the mode list, brightness,
// speed, direction, the colour-cycle switch, the palette, the swatches and the colour
// fields. It shows a device's lighting and hands the user's changes back to it.
class LightingPanel {
public:
    struct Device {
        std::function<LightInfo()> current;
        std::function<void(const LightInfo&)> change;
        std::function<std::vector<PresetLightMode>()> presets;
    };

    LightingPanel(CControlUI* panel, Device device);
    // Shows the device's lighting.
    void Refresh();
    // A notification from one of the panel's controls; true when it was one.
    bool HandleNotify(TNotifyUI& msg);

private:
    CControlUI* find(const QString& name) const;
    void apply(const std::function<void(LightInfo&)>& change);

    QPointer<CControlUI> m_panel;
    Device m_device;
    bool m_showing = false;
};

} // namespace talyx
