#include "device/DeviceScanThread.h"

#include <string>
#include <utility>

#include "device/SupportedDeviceTable.h"
#include "platform/Debug.h"
#include "platform/Event.h"
#include "platform/MessageTarget.h"
#include "platform/WorkerThread.h"

namespace talyx {

DeviceScanThread::DeviceScanThread(SupportedDeviceTable& table, MessageTarget& window, uint32_t instanceMessage,
                                   std::shared_ptr<HidBackend> backend)
    : m_table(table), m_window(window), m_instanceMessage(instanceMessage), m_hid(std::move(backend)) {}

bool DeviceScanThread::Start(WorkerThread& slot) {
    return slot.start([this](Event& stop) { Run(stop); });
}

void DeviceScanThread::Run(Event& stop) {
    while (!stop.isSet()) {
        if (!m_table.AllFound()) {
            if (!m_hid.Enumerate()) {
                // The window waits for the first pass to show itself; when devices cannot
                // be listed at all it must still come up, with its no-device notice.
                if (!m_instancePosted && !stop.isSet()) {
                    m_instancePosted = true;
                    m_window.postMessage(m_instanceMessage, 0, 0);
                }
                DebugOutput("HID devices cannot be listed; new devices are not looked for until the next start");
                break;
            }
            attachNew(stop);
            m_hid.FreePaths();
            if (!m_instancePosted) {
                m_instancePosted = true;
                m_window.postMessage(m_instanceMessage, 0, 0);
            }
        }
        detachGone(stop);
        m_passes.fetch_add(1);
        if (stop.wait(kPassPauseMs))
            break;
    }
    DebugOutput("抓取设备线程设定退出");
}

void DeviceScanThread::attachNew(Event& stop) {
    while (const std::string* path = m_hid.NextPath()) {
        // A stop in the middle of a pass leaves the rest for no one: do not open more.
        if (stop.isSet())
            return;
        const int row = m_table.AttachInterface(m_hid, *path);
        if (row >= 0)
            m_window.sendMessage(kMsgDeviceArrived, static_cast<WPARAM>(row), 0);
    }
}

void DeviceScanThread::detachGone(Event& stop) {
    for (size_t row : m_table.ConnectedRows()) {
        if (stop.isSet())
            return;
        const std::string path = m_table.Entry(row).devicePath;
        if (m_hid.IsPresent(path))
            continue;
        if (m_table.Detach(row))
            m_window.sendMessage(kMsgDeviceRemoved, static_cast<WPARAM>(row), 0);
    }
}

} // namespace talyx
