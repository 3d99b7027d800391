#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include <json/value.h>

namespace talyx::vdev {

// One request that broke the framing rules, as the model saw it.
struct FramingError {
    std::string kind; // "length", "report-id", "checksum", "chunk-length", "status-byte", "padding"
    uint8_t command = 0;
    std::string packet; // hex of what arrived
};

// What a device's firmware does with the requests of the command exchange. The base
// checks the framing of every request and keeps the counts; the device models execute
// the well-framed ones.
//
// Framing rules: 64 bytes; report id 4; bytes 1 and 2 the checksum of bytes 3..63; byte 7
// zero; byte 4 (chunk length) at most the chunk size of the link; bytes after the data
// zero. A request with a wrong length, report id, checksum or chunk length is refused
// with status 0xFF and not executed; a non-zero byte 7 or padding is recorded only.
class FirmwareModel {
public:
    virtual ~FirmwareModel() = default;

    // Checks a request and records what is wrong. True when it may be executed; false
    // with the refusal in `refusal` otherwise.
    bool Check(const uint8_t* request, size_t length, std::vector<uint8_t>& refusal);
    // Executes a well-framed 64-byte request and returns its 64-byte reply.
    virtual std::vector<uint8_t> Execute(const uint8_t* request) = 0;
    // Check, then Execute; the refusal otherwise.
    std::vector<uint8_t> Handle(const uint8_t* request, size_t length);

    // The firmware state as JSON (byte areas as hex strings), with the counts below.
    virtual Json::Value DumpState() const;
    // Overwrites bytes of a named area (test set-up). False for an unknown area or a range
    // outside it.
    virtual bool SetArea(const std::string& area, size_t offset, const std::vector<uint8_t>& bytes);

    // Largest chunk the link carries: 56 bytes on the cable, 24 through a receiver.
    virtual uint8_t MaxChunk() const { return 56; }

    uint64_t RequestCount() const { return m_requests; }
    uint64_t FramingErrorCount() const { return m_framingErrorCount; }
    const std::deque<FramingError>& FramingErrors() const { return m_framingErrors; }
    uint64_t CommandCount(uint8_t command) const;
    void ResetCounters();

protected:
    void recordError(const std::string& kind, const uint8_t* request, size_t length);

    uint64_t m_requests = 0;
    uint64_t m_framingErrorCount = 0;
    std::deque<FramingError> m_framingErrors; // the last kMaxKeptErrors
    std::map<uint8_t, uint64_t> m_commandCounts;
    static constexpr size_t kMaxKeptErrors = 32;
};

} // namespace talyx::vdev
