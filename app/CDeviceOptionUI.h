#pragma once

#include "ui/COptionUI.h"

namespace talyx {

// A device's item in the device selector: its name and picture; selecting it shows the
// device's page. It also runs the page's schedule with its control timers.
class CDeviceOptionUI : public COptionUI {
    Q_OBJECT
public:
    explicit CDeviceOptionUI(QWidget* parent = nullptr);
    QString GetClass() const override { return QStringLiteral("DeviceOptionUI"); }
    // The tabs of "device_switch" and "device_power_switch" this item selects (-1: none).
    int GetDeviceTab() const { return m_deviceTab; }
    int GetPowerTab() const { return m_powerTab; }
    void SetTabs(int deviceTab, int powerTab);

private:
    int m_deviceTab = -1;
    int m_powerTab = -1;
};

} // namespace talyx
