#include "platform/WorkerThread.h"

#include <utility>

namespace talyx {

struct WorkerThread::State {
    Event finished{true};
};

WorkerThread::WorkerThread() : m_stop(std::make_shared<Event>(true)) {}

WorkerThread::~WorkerThread() { stop(1000); }

bool WorkerThread::start(std::function<void(Event& stop)> body) {
    if (m_thread.joinable())
        return false;
    m_state = std::make_shared<State>();
    m_stop->reset();
    auto state = m_state;
    auto stopEvent = m_stop;
    m_thread = std::thread([state, stopEvent, body = std::move(body)] {
        body(*stopEvent);
        state->finished.set();
    });
    return true;
}

WorkerThread::JoinResult WorkerThread::stop(int timeoutMs, const std::function<void()>& wake) {
    if (!m_thread.joinable())
        return JoinResult::NotRunning;
    m_stop->set();
    if (wake)
        wake();
    const bool inTime = m_state->finished.wait(timeoutMs);
    m_thread.join();
    m_state.reset();
    return inTime ? JoinResult::Signalled : JoinResult::TimedOut;
}

bool WorkerThread::running() const { return m_thread.joinable() && m_state && !m_state->finished.isSet(); }

} // namespace talyx
