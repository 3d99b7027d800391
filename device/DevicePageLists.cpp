#include "device/DevicePageLists.h"

namespace talyx {

void DevicePageLists::Add(int family, CKestravaUSBDevice* page) {
    if (family < 0 || family >= kDeviceTypeCount || !page)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pages[static_cast<size_t>(family)].push_back(page);
}

std::vector<CKestravaUSBDevice*> DevicePageLists::Pages(int family) const {
    if (family < 0 || family >= kDeviceTypeCount)
        return {};
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pages[static_cast<size_t>(family)];
}

} // namespace talyx
