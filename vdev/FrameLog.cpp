#include "vdev/FrameLog.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "vdev/VdevFraming.h"

namespace talyx::vdev {
namespace {

uint64_t monotonicMicros() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

uint32_t firstLitColour(const std::vector<uint8_t>& frame) {
    for (size_t i = 0; i + 2 < frame.size(); i += 3)
        if (frame[i] || frame[i + 1] || frame[i + 2])
            return uint32_t(frame[i]) << 16 | uint32_t(frame[i + 1]) << 8 | frame[i + 2];
    return 0;
}

} // namespace

FrameLog::FrameLog(size_t frameSize) : m_frame(frameSize, 0), m_covered(frameSize, false), m_lastFrame(frameSize, 0) {}

bool FrameLog::Chunk(const uint8_t* request) {
    const uint8_t length = request[4];
    const size_t offset = static_cast<size_t>(request[5] | request[6] << 8);
    if (offset + length > m_frame.size())
        return false;
    std::memcpy(m_frame.data() + offset, request + kDataStart, length);
    std::fill(m_covered.begin() + static_cast<long>(offset), m_covered.begin() + static_cast<long>(offset + length),
              true);
    m_chunkMax = std::max<int>(m_chunkMax, length);
    if (offset + length == m_frame.size()) {
        m_lastChunk = m_chunkMax;
        m_chunkMax = 0;
        // The chunk that reaches the end shows the frame; the program drops chunks that
        // meet a busy channel, so a frame may show with parts of the one before.
        m_lastFrame = m_frame;
        ++m_count;
        if (std::find(m_covered.begin(), m_covered.end(), false) != m_covered.end())
            ++m_partial;
        std::fill(m_covered.begin(), m_covered.end(), false);
        m_times.push_back(monotonicMicros());
        m_colours.push_back(firstLitColour(m_lastFrame));
        while (m_times.size() > kKeptFrames) {
            m_times.pop_front();
            m_colours.pop_front();
        }
    }
    return true;
}

Json::Value FrameLog::Dump() const {
    Json::Value frame(Json::objectValue);
    frame["last"] = ToHex(m_lastFrame);
    frame["count"] = Json::UInt64(m_count);
    frame["partial"] = Json::UInt64(m_partial);
    Json::Value times(Json::arrayValue);
    for (uint64_t t : m_times)
        times.append(Json::UInt64(t));
    frame["timesUs"] = times;
    Json::Value colours(Json::arrayValue);
    char text[8];
    for (uint32_t c : m_colours) {
        std::snprintf(text, sizeof text, "%06x", c);
        colours.append(text);
    }
    frame["colours"] = colours;
    frame["chunk"] = m_lastChunk;
    return frame;
}

} // namespace talyx::vdev
