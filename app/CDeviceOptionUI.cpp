#include "app/CDeviceOptionUI.h"

namespace talyx {

CDeviceOptionUI::CDeviceOptionUI(QWidget* parent) : COptionUI(parent) { SetGroup(QStringLiteral("device_select")); }

void CDeviceOptionUI::SetTabs(int deviceTab, int powerTab) {
    m_deviceTab = deviceTab;
    m_powerTab = powerTab;
}

} // namespace talyx
