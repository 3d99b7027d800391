#include "device/DeviceCommandWorker.h"

#include <chrono>

#include <pthread.h>

#include "device/transport/DeviceChannel.h"

namespace talyx {
namespace {

using Clock = std::chrono::steady_clock;

// Names the thread as top, perf and the measuring script show it (at most 15 characters).
void nameThisThread(const char* name) {
    pthread_setname_np(pthread_self(), name);
}

} // namespace

bool CommandContext::Cancelled() const {
    return m_worker->cancelledSince(m_generation);
}

bool CommandContext::Pause(int ms) {
    return m_worker->pauseJob(m_generation, ms);
}

DeviceCommandWorker::DeviceCommandWorker(DeviceChannel& channel) : m_channel(channel) {}

DeviceCommandWorker::~DeviceCommandWorker() {
    Stop();
}

bool DeviceCommandWorker::Start(Poster poster) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_thread.joinable())
        return false;
    m_poster = std::move(poster);
    m_stopping = false;
    m_thread = std::thread([this] {
        nameThisThread("dev-commands");
        runCommands();
    });
    return true;
}

bool DeviceCommandWorker::StartFrames(FrameSource source) {
    StopFrames();
    std::lock_guard<std::mutex> lock(m_frameMutex);
    m_frames = std::move(source);
    m_frameStop = false;
    m_frameWakeRequested = false;
    m_frameThread = std::thread([this] {
        nameThisThread("dev-frames");
        runFrames();
    });
    return true;
}

void DeviceCommandWorker::StopFrames() {
    {
        std::lock_guard<std::mutex> lock(m_frameMutex);
        m_frameStop = true;
    }
    m_frameWake.notify_all();
    if (m_frameThread.joinable() && m_frameThread.get_id() != std::this_thread::get_id())
        m_frameThread.join();
}

void DeviceCommandWorker::Stop() {
    StopFrames();
    CancelPending();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_jobsChanged.notify_all();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_poster = nullptr;
}

bool DeviceCommandWorker::Running() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_thread.joinable() && !m_stopping;
}

bool DeviceCommandWorker::FramesRunning() const {
    return m_frameThread.joinable();
}

void DeviceCommandWorker::Post(const char* name, int mergeKind, Body body, Done done) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_thread.joinable() || m_stopping) {
        // No thread (tests, a stopped page): run it here. A stopped worker takes nothing.
        const bool stopped = m_stopping;
        const uint64_t generation = m_cancelGeneration;
        lock.unlock();
        CommandContext context(this, generation);
        const int result = stopped ? kResultNoReply : body(context);
        if (!stopped)
            m_jobsRun.fetch_add(1);
        if (done)
            done(result);
        return;
    }
    Job job{name, mergeKind, std::move(body), {}, m_cancelGeneration};
    if (done)
        job.done.push_back(std::move(done));
    if (mergeKind != kNoMerge) {
        for (auto it = m_queue.begin(); it != m_queue.end(); ++it) {
            if (it->mergeKind != mergeKind)
                continue;
            // The earlier request is answered by the later one, which runs after
            // everything posted before it.
            job.done.insert(job.done.begin(), it->done.begin(), it->done.end());
            m_queue.erase(it);
            m_jobsMerged.fetch_add(1);
            break;
        }
    }
    m_queue.push_back(std::move(job));
    lock.unlock();
    m_jobsChanged.notify_all();
}

void DeviceCommandWorker::CancelPending() {
    std::deque<Job> dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_cancelGeneration;
        dropped.swap(m_queue);
    }
    m_jobsChanged.notify_all();
    for (Job& job : dropped) {
        m_jobsCancelled.fetch_add(1);
        deliver(std::move(job.done), kResultNoReply);
    }
}

bool DeviceCommandWorker::cancelledSince(uint64_t generation) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cancelGeneration != generation || m_stopping;
}

bool DeviceCommandWorker::pauseJob(uint64_t generation, int ms) {
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    return !m_jobsChanged.wait_until(lock, until, [&] { return m_cancelGeneration != generation || m_stopping; });
}

void DeviceCommandWorker::deliver(std::vector<Done> done, int result) {
    if (done.empty())
        return;
    Poster poster;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        poster = m_poster;
    }
    auto run = [done = std::move(done), result] {
        for (const Done& d : done)
            if (d)
                d(result);
    };
    if (poster)
        poster(std::move(run));
    else
        run();
}

void DeviceCommandWorker::runCommands() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_jobsChanged.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping)
            break;
        Job job = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();
        CommandContext context(this, job.generation);
        const int result = job.body(context);
        m_jobsRun.fetch_add(1);
        deliver(std::move(job.done), result);
        lock.lock();
        m_busy = false;
        m_jobsChanged.notify_all();
    }
}

uint64_t DeviceCommandWorker::CancelGeneration() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cancelGeneration;
}

size_t DeviceCommandWorker::QueuedCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queue.size();
}

bool DeviceCommandWorker::Idle() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queue.empty() && !m_busy;
}

bool DeviceCommandWorker::WaitIdle(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_jobsChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [this] { return m_queue.empty() && !m_busy; });
}

void DeviceCommandWorker::WakeFrames() {
    {
        std::lock_guard<std::mutex> lock(m_frameMutex);
        m_frameWakeRequested = true;
    }
    m_frameWake.notify_all();
}

void DeviceCommandWorker::runFrames() {
    std::unique_lock<std::mutex> lock(m_frameMutex);
    Clock::time_point deadline = Clock::now();
    bool streaming = false;
    bool pending = false;
    // Ends the frame whose replies are still to read (without the thread's lock, as the
    // channel may wait for the device); false when the device did not take it.
    const auto rest = [&] {
        if (m_frames.rest) {
            lock.unlock();
            m_frames.rest();
            lock.lock();
        }
    };
    const auto finishPending = [&] {
        if (!pending)
            return true;
        pending = false;
        lock.unlock();
        const int result = m_frames.finish();
        lock.lock();
        return countFrame(result);
    };
    while (!m_frameStop) {
        m_frameWakeRequested = false;
        lock.unlock();
        const bool wanted = m_frames.wanted && m_frames.wanted();
        lock.lock();
        if (!wanted) {
            // Nothing to stream: sleep until something changes.
            finishPending();
            if (streaming)
                rest();
            streaming = false;
            m_frameWake.wait(lock, [this] { return m_frameStop || m_frameWakeRequested; });
            continue;
        }
        const auto period = std::chrono::milliseconds(m_channel.IsWireless() ? kWirelessFrameMs : kWiredFrameMs);
        if (!streaming) {
            deadline = Clock::now();
            streaming = true;
        }
        // Until the deadline; a wake (a mode or link change) re-reads what is wanted.
        if (m_frameWake.wait_until(lock, deadline, [this] { return m_frameStop || m_frameWakeRequested; })) {
            if (m_frameStop)
                break;
            if (Clock::now() < deadline)
                continue;
        }
        if (!finishPending()) {
            rest();
            pauseAfterFailure(lock);
            deadline = Clock::now();
            continue;
        }
        lock.unlock();
        const int result = m_frames.send ? m_frames.send() : kResultNoReply;
        lock.lock();
        if (result == kResultSuccess && m_frames.finish) {
            pending = true;
        } else if (!countFrame(result)) {
            rest();
            pauseAfterFailure(lock);
            deadline = Clock::now();
            continue;
        }
        deadline += period;
        const auto now = Clock::now();
        if (deadline <= now) {
            // The frame took longer than its period: the deadlines it overran are dropped,
            // and the schedule carries on from the next one still ahead.
            const auto behind = (now - deadline) / period + 1;
            m_framesDropped.fetch_add(static_cast<uint64_t>(behind));
            deadline += period * behind;
        }
    }
    finishPending();
    rest();
}

bool DeviceCommandWorker::countFrame(int result) {
    if (result == kResultSuccess) {
        m_framesSent.fetch_add(1);
        return true;
    }
    m_framesFailed.fetch_add(1);
    return false;
}

void DeviceCommandWorker::pauseAfterFailure(std::unique_lock<std::mutex>& lock) {
    // A keyboard that did not take the frame is not flooded every period.
    m_frameWake.wait_for(lock, std::chrono::milliseconds(kFrameFailurePauseMs), [this] { return m_frameStop; });
}

DeviceCommandWorker::Stats DeviceCommandWorker::GetStats() const {
    Stats s;
    s.jobsRun = m_jobsRun.load();
    s.jobsMerged = m_jobsMerged.load();
    s.jobsCancelled = m_jobsCancelled.load();
    s.framesSent = m_framesSent.load();
    s.framesFailed = m_framesFailed.load();
    s.framesDropped = m_framesDropped.load();
    return s;
}

} // namespace talyx
