#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace talyx {

class DeviceChannel;

// What a running command job may ask of its worker.
class CommandContext {
public:
    // True once the job was cancelled (the page closed, the device went, the computer is
    // going to sleep): a job stops before its next command.
    bool Cancelled() const;
    // Waits up to ms (the pauses between retries); false at once when the job is or
    // becomes cancelled.
    bool Pause(int ms);

private:
    friend class DeviceCommandWorker;
    CommandContext(class DeviceCommandWorker* worker, uint64_t generation)
        : m_worker(worker), m_generation(generation) {}
    DeviceCommandWorker* m_worker;
    uint64_t m_generation;
};

// The one thread that talks to a device, so the interface thread never waits on it.
//
// Commands. The interface thread posts jobs; the worker runs them one after another, in
// the order they were posted, each job a whole sequence of commands (a batch, a key table
// read, a hand-over with its retries). A job's body runs on the worker and may touch only
// the channel, what the job carries (a snapshot of what it must write) and state that
// belongs to the worker; its result handler runs on the interface thread, where it applies
// what was read (a record to the profile, a key table to the slot maps) and posts the next
// step. Results are the codes of DeviceChannel (1 success, 0 no reply or not open, -1 write
// failed, -101 unreachable, -102/-103 error status, -201 bad bank). A job of a kind that is
// already queued (two status polls, two record writes) replaces the queued one: it runs
// once, at the later place, with the later body, and every handler gets its result.
//
// Frames. A second thread sends the live light frames on a fixed schedule by absolute
// deadlines, every 10 ms on the cable and every 50 ms through the receiver, from the
// frame source's `send` (which builds the frame from the lighting engine and sends it with
// command 0x12 under the channel's light lock, so a frame goes out between two chunks of a
// long block write). A frame that cannot go out within its period is dropped, not queued.
// After a frame the device did not take it pauses 200 ms. A source whose `send` leaves
// the replies pending has them collected at the next deadline, so the thread wakes once
// per frame. While the source does not want
// frames (lighting not controlled, channel closed, a mode the keyboard renders itself) the
// thread sleeps until WakeFrames().
//
// Without Start() the worker runs every job at once on the caller's thread, handler
// included, so single-threaded callers (tests, the command line) keep the same API.
//
// Thread-safety: every member may be called from any thread; Post, CancelPending and
// WakeFrames never block on the device.
class DeviceCommandWorker {
public:
    using Body = std::function<int(CommandContext&)>;
    using Done = std::function<void(int result)>;
    // Runs a function on the interface thread later (a queued call that is dropped when
    // its page has gone). Without one, handlers run on the worker thread.
    using Poster = std::function<void(std::function<void()>)>;

    // Kinds whose repeats merge; kNoMerge jobs always queue.
    enum MergeKind : int {
        kNoMerge = 0,
        kMergeStatus,
        kMergeOnline,
        kMergeRecordRead,
        kMergeRecordWrite,
        kMergeColourPage,
        kMergeProfileWrite,
        kMergeSettingsSync,
    };

    struct FrameSource {
        // True while frames should go out (called on the frame thread before each frame).
        std::function<bool()> wanted;
        // Builds and sends one frame; the channel's result code.
        std::function<int()> send;
        // When set, `send` may leave the frame's replies pending (Cmd12BeginFrame): the
        // thread calls this when the next frame is due, before the next `send`, and when
        // it stops or frames are no longer wanted; its result is the frame's.
        std::function<int()> finish;
        // When set, called when frames stop going out for a while (no longer wanted, a
        // pause after a failure, the thread ends): what `send` took on meanwhile (the
        // stepping of the lights) goes back to its owner.
        std::function<void()> rest;
    };

    struct Stats {
        uint64_t jobsRun = 0;
        uint64_t jobsMerged = 0;
        uint64_t jobsCancelled = 0;
        uint64_t framesSent = 0;
        uint64_t framesFailed = 0;
        uint64_t framesDropped = 0; // deadlines that passed while a frame was still going out
    };

    static constexpr int kWiredFrameMs = 10;
    static constexpr int kWirelessFrameMs = 50;
    static constexpr int kFrameFailurePauseMs = 200;

    explicit DeviceCommandWorker(DeviceChannel& channel);
    ~DeviceCommandWorker();
    DeviceCommandWorker(const DeviceCommandWorker&) = delete;
    DeviceCommandWorker& operator=(const DeviceCommandWorker&) = delete;

    // Starts the command thread; false when it already runs.
    bool Start(Poster poster);
    // Starts the frame thread with its source (a running one is stopped first).
    bool StartFrames(FrameSource source);
    // Cancels what is queued and running, and ends both threads. The caller closes the
    // channel first when a transfer may be waiting (a closed interface ends the wait at
    // once). Queued handlers get kResultNoReply.
    void Stop();
    void StopFrames();
    bool Running() const;
    bool FramesRunning() const;

    // Queues a job (or, without Start, runs it here). `name` is for the debug output.
    void Post(const char* name, int mergeKind, Body body, Done done = {});
    // Drops every queued job (their handlers get kResultNoReply) and cancels the running
    // one: its pauses end and CommandContext::Cancelled() turns true. Later posts run.
    void CancelPending();
    // Re-reads the frame source's `wanted` and the channel's link (10 or 50 ms).
    void WakeFrames();

    // Counts the cancels so far: a chain of jobs (a page start) that sees it change between
    // two steps stops instead of going on for a link that has gone.
    uint64_t CancelGeneration() const;

    size_t QueuedCount() const;
    // No job queued or running.
    bool Idle() const;
    // Waits up to timeoutMs until Idle() (tests and the measuring tools).
    bool WaitIdle(int timeoutMs);
    Stats GetStats() const;

private:
    friend class CommandContext;
    struct Job {
        const char* name;
        int mergeKind;
        Body body;
        std::vector<Done> done;
        uint64_t generation;
    };

    void runCommands();
    void runFrames();
    // Counts a frame's result; false when the device did not take it.
    bool countFrame(int result);
    void pauseAfterFailure(std::unique_lock<std::mutex>& lock);
    void deliver(std::vector<Done> done, int result);
    bool cancelledSince(uint64_t generation) const;
    bool pauseJob(uint64_t generation, int ms);

    DeviceChannel& m_channel;
    Poster m_poster;

    mutable std::mutex m_mutex;
    std::condition_variable m_jobsChanged;
    std::deque<Job> m_queue;
    bool m_busy = false;
    bool m_stopping = false;
    uint64_t m_cancelGeneration = 0;
    std::thread m_thread;

    std::mutex m_frameMutex;
    std::condition_variable m_frameWake;
    FrameSource m_frames;
    bool m_frameStop = false;
    bool m_frameWakeRequested = false;
    std::thread m_frameThread;

    std::atomic<uint64_t> m_jobsRun{0};
    std::atomic<uint64_t> m_jobsMerged{0};
    std::atomic<uint64_t> m_jobsCancelled{0};
    std::atomic<uint64_t> m_framesSent{0};
    std::atomic<uint64_t> m_framesFailed{0};
    std::atomic<uint64_t> m_framesDropped{0};
};

} // namespace talyx
