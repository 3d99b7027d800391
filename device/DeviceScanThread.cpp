#include "device/DeviceScanThread.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <utility>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "device/transport/HidBackend.h"
#include "device/transport/HidWatch.h"
#include "platform/Debug.h"
#include "platform/Event.h"
#include "platform/MessageTarget.h"
#include "platform/WorkerThread.h"

namespace talyx {
namespace {

using Clock = std::chrono::steady_clock;

int msUntil(Clock::time_point when) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(when - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// An open failure that a later try may not meet: the socket was made but is not
// listening yet, the device was slow to greet.
bool mayPass(HidStatus status) {
    return status == HidStatus::Gone || status == HidStatus::TimedOut || status == HidStatus::IoError;
}

} // namespace

DeviceScanThread::DeviceScanThread(SupportedDeviceTable& table, MessageTarget& window, uint32_t instanceMessage,
                                   std::shared_ptr<HidBackend> backend)
    : m_table(table), m_window(window), m_instanceMessage(instanceMessage),
      m_backend(backend ? std::move(backend) : DefaultHidBackend()), m_hid(m_backend),
      m_wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

DeviceScanThread::~DeviceScanThread() {
    {
        std::unique_lock<std::mutex> lock(m_runLock);
        if (m_runStop)
            m_runStop->set();
        m_runEnded.wait(lock, [this] { return m_runStop == nullptr; });
    }
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void DeviceScanThread::wake() {
    const uint64_t one = 1;
    ssize_t n;
    do {
        n = ::write(m_wakeFd, &one, sizeof one);
    } while (n < 0 && errno == EINTR);
}

void DeviceScanThread::Rescan() {
    wake();
}

void DeviceScanThread::UseWatch(std::unique_ptr<HidWatch> watch) {
    m_watch = std::move(watch);
}

bool DeviceScanThread::Start(WorkerThread& slot) {
    return slot.start([this](Event& stop) { Run(stop); });
}

void DeviceScanThread::Run(Event& stop) {
    {
        std::lock_guard<std::mutex> lock(m_runLock);
        m_runStop = &stop;
    }
    // The stop event is a condition variable, which poll() cannot wait on; this thread
    // sleeps until the stop and turns it into a readable descriptor. It costs no wake-ups.
    std::thread relay([this, &stop] {
        stop.wait(-1);
        wake();
    });
    if (!m_watch)
        m_watch = m_backend->watch();
    if (m_watch && (m_watch->fd() < 0 || m_wakeFd < 0))
        m_watch.reset();
    m_watching.store(m_watch != nullptr);

    Clock::time_point settleUntil = Clock::now() + std::chrono::milliseconds(kSettleMs);
    int retryPauseMs = kRetryPauseMs;
    while (!stop.isSet()) {
        bool retry = false;
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
            retry = attachNew(stop);
            m_hid.FreePaths();
            if (!m_instancePosted) {
                m_instancePosted = true;
                m_window.postMessage(m_instanceMessage, 0, 0);
            }
        } else {
            // Every row is taken: a device that may not be opened could not attach anyway.
            reportInaccessible({});
        }
        detachGone(stop);
        m_passes.fetch_add(1);

        int timeoutMs = kPassPauseMs;
        if (m_watch && retry && Clock::now() < settleUntil) {
            // A socket made but not listening yet is a matter of microseconds; a device
            // that keeps refusing is not worth more than a few tries.
            timeoutMs = retryPauseMs;
            retryPauseMs = std::min(retryPauseMs * 2, kPassPauseMs);
        } else if (m_watch) {
            timeoutMs = kRescanMs;
        }
        const Wake woke = waitForWake(timeoutMs);
        if (woke == Wake::Woken && stop.isSet())
            break;
        if (woke == Wake::Hint || woke == Wake::Woken) {
            settleUntil = Clock::now() + std::chrono::milliseconds(kSettleMs);
            retryPauseMs = kRetryPauseMs;
        }
        if (woke == Wake::WatchLost) {
            DebugOutput("device watch lost; looking for devices every 100 ms");
            m_watch.reset();
            m_watching.store(false);
        }
    }
    // Ended by itself (enumeration failed): set the stop event so the relay ends too.
    stop.set();
    relay.join();
    DebugOutput("抓取设备线程设定退出");
    std::lock_guard<std::mutex> lock(m_runLock);
    m_runStop = nullptr;
    m_runEnded.notify_all();
}

DeviceScanThread::Wake DeviceScanThread::waitForWake(int timeoutMs) {
    if (m_wakeFd < 0) {
        // No descriptor to wait on: an eventfd could not be made. Wait on nothing but the
        // time; the stop is then seen at the next pass.
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return Wake::TimedOut;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {m_watch ? m_watch->fd() : -1, POLLIN, 0}};
        const int n = ::poll(fds, m_watch ? 2 : 1, msUntil(deadline));
        if (n < 0 && errno != EINTR)
            return Wake::TimedOut;
        if (n < 0)
            continue;
        if (fds[0].revents) {
            uint64_t count;
            while (::read(m_wakeFd, &count, sizeof count) < 0 && errno == EINTR) {
            }
            return Wake::Woken;
        }
        if (n == 0)
            return Wake::TimedOut;
        if (fds[1].revents & POLLIN) {
            // Uevents of other subsystems (usb, input) come with every plug; only ours
            // start a pass.
            if (m_watch->drain())
                return Wake::Hint;
        } else if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            return Wake::WatchLost;
        }
        if (msUntil(deadline) == 0)
            return Wake::TimedOut;
    }
}

bool DeviceScanThread::attachNew(Event& stop) {
    bool retry = false;
    std::vector<InaccessibleDevice> inaccessible;
    while (const std::string* path = m_hid.NextPath()) {
        // A stop in the middle of a pass leaves the rest for no one: do not open more.
        if (stop.isSet())
            return false;
        const int wanted = m_table.WantedRow(EntryFromPath(*path));
        HidStatus status = HidStatus::Ok;
        const int row = m_table.AttachInterface(m_hid, *path, &status);
        if (row >= 0) {
            m_window.sendMessage(kMsgDeviceArrived, static_cast<WPARAM>(row), 0);
            continue;
        }
        if (status == HidStatus::NoAccess && wanted >= 0) {
            // One entry per device (the collections of one interface share a hidraw node,
            // and a bus device's sockets share their folder); its main collection's row
            // and node name it best.
            const SupportedDeviceEntry place = EntryFromPath(*path);
            auto same = std::find_if(inaccessible.begin(), inaccessible.end(), [&](const InaccessibleDevice& d) {
                const SupportedDeviceEntry other = EntryFromPath(d.path);
                return other.vendorId == place.vendorId && other.productId == place.productId &&
                       other.interfaceNumber == place.interfaceNumber;
            });
            const InaccessibleDevice device{m_backend->nodeOf(*path), *path, wanted};
            if (same == inaccessible.end())
                inaccessible.push_back(device);
            else if (m_table.Entry(wanted).role == kRoleMain && m_table.Entry(same->row).role != kRoleMain)
                *same = device;
        }
        retry = retry || mayPass(status);
    }
    reportInaccessible(std::move(inaccessible));
    return retry;
}

void DeviceScanThread::reportInaccessible(std::vector<InaccessibleDevice> found) {
    const SupportedDeviceTable::InaccessibleChange change = m_table.ReplaceInaccessible(std::move(found));
    for (const InaccessibleDevice& d : change.removed)
        m_window.sendMessage(kMsgDeviceNoAccess, static_cast<WPARAM>(d.row), 0);
    for (const InaccessibleDevice& d : change.added)
        m_window.sendMessage(kMsgDeviceNoAccess, static_cast<WPARAM>(d.row), 1);
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
