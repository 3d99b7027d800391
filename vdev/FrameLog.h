#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include <json/value.h>

namespace talyx::vdev {

// The live light frames a device receives with command 0x12: the chunks are put together
// at their offsets, and the chunk that reaches the end of the frame shows it. Kept for
// tests: the last frame, the counts, when the last frames were shown and the colour of
// each (the first light that is not dark), so frames of several devices can be compared
// in time.
class FrameLog {
public:
    static constexpr size_t kKeptFrames = 256;

    explicit FrameLog(size_t frameSize);

    // One 0x12 request; false when the chunk runs past the frame (nothing kept).
    bool Chunk(const uint8_t* request);

    size_t FrameSize() const { return m_frame.size(); }
    const std::vector<uint8_t>& LastFrame() const { return m_lastFrame; }
    uint64_t Count() const { return m_count; }
    uint64_t PartialCount() const { return m_partial; }
    // Monotonic microseconds at which the last frames were shown (oldest first).
    const std::deque<uint64_t>& Times() const { return m_times; }
    // The colour of each of those frames, 0xRRGGBB.
    const std::deque<uint32_t>& Colours() const { return m_colours; }

    // "last", "count", "partial", "timesUs", "colours" (hex "rrggbb"), "chunk".
    Json::Value Dump() const;

private:
    std::vector<uint8_t> m_frame;
    std::vector<bool> m_covered;
    std::vector<uint8_t> m_lastFrame;
    uint64_t m_count = 0;
    uint64_t m_partial = 0;
    std::deque<uint64_t> m_times;
    std::deque<uint32_t> m_colours;
    // The largest chunk of the frame being received, and of the last whole one.
    int m_chunkMax = 0;
    int m_lastChunk = 0;
};

} // namespace talyx::vdev
