#include "platform/Event.h"

namespace talyx {

Event::Event(bool manualReset, bool initiallySet) : m_manualReset(manualReset), m_set(initiallySet) {}

void Event::set() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_set = true;
    }
    if (m_manualReset)
        m_cv.notify_all();
    else
        m_cv.notify_one();
}

void Event::reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_set = false;
}

bool Event::isSet() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_set;
}

bool Event::wait(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    auto ready = [this] { return m_set; };
    bool signalled = true;
    if (timeoutMs < 0)
        m_cv.wait(lock, ready);
    else
        signalled = m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    if (signalled && !m_manualReset)
        m_set = false;
    return signalled;
}

} // namespace talyx
