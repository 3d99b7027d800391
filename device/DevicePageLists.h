#pragma once

#include <array>
#include <atomic>
#include <mutex>
#include <vector>

#include "device/transport/DeviceIdentification.h"

namespace talyx {

class CKestravaUSBDevice;

// The device pages of each family, as the main window builds them, shared with the
// light-sync thread.
//
// Pages are only ever added while the process runs (a page stays built after its device
// is unplugged, for a later arrival), and they live until the workers have been stopped.
// The lists are guarded so that the light-sync thread never reads one in the middle of an
// addition; it works on a copy of the pointers.
class DevicePageLists {
public:
    // Adds a page to its family's list (families 0..3, DeviceType order); others are ignored.
    void Add(int family, CKestravaUSBDevice* page);
    // A copy of a family's list, in the order the pages were added (empty for others).
    std::vector<CKestravaUSBDevice*> Pages(int family) const;

    // Whether the light-sync thread found a synchronised mouse on its last pass. Keyboard
    // and mouse-pad pages may read it from any thread.
    void SetSynchronisedMouseFound(bool found) { m_mouseFound.store(found); }
    bool SynchronisedMouseFound() const { return m_mouseFound.load(); }

private:
    mutable std::mutex m_mutex;
    std::array<std::vector<CKestravaUSBDevice*>, kDeviceTypeCount> m_pages;
    std::atomic<bool> m_mouseFound{false};
};

} // namespace talyx
