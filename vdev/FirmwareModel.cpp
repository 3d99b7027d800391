#include "vdev/FirmwareModel.h"

#include <cstdio>

#include "vdev/VdevFraming.h"

namespace talyx::vdev {

void FirmwareModel::recordError(const std::string& kind, const uint8_t* request, size_t length) {
    ++m_framingErrorCount;
    FramingError e;
    e.kind = kind;
    e.command = length > 3 ? request[3] : 0;
    e.packet = ToHex(request, length);
    m_framingErrors.push_back(std::move(e));
    while (m_framingErrors.size() > kMaxKeptErrors)
        m_framingErrors.pop_front();
}

bool FirmwareModel::Check(const uint8_t* request, size_t length, std::vector<uint8_t>& refusal) {
    ++m_requests;
    const uint8_t command = length > 3 ? request[3] : 0;
    ++m_commandCounts[command];
    const char* fatal = nullptr;
    if (length != kPacketSize)
        fatal = "length";
    else if (request[0] != kVendorReportId)
        fatal = "report-id";
    else if (static_cast<uint16_t>(request[1] | request[2] << 8) != PacketChecksum(request))
        fatal = "checksum";
    else if (request[4] > MaxChunk())
        fatal = "chunk-length";
    if (fatal) {
        recordError(fatal, request, length);
        refusal = MakeReply(command, 0, 0, 0xFF);
        return false;
    }
    if (request[7] != 0)
        recordError("status-byte", request, length);
    for (size_t i = kDataStart + request[4]; i < kPacketSize; ++i) {
        if (request[i] != 0) {
            recordError("padding", request, length);
            break;
        }
    }
    return true;
}

std::vector<uint8_t> FirmwareModel::Handle(const uint8_t* request, size_t length) {
    std::vector<uint8_t> refusal;
    if (!Check(request, length, refusal))
        return refusal;
    return Execute(request);
}

uint64_t FirmwareModel::CommandCount(uint8_t command) const {
    const auto it = m_commandCounts.find(command);
    return it == m_commandCounts.end() ? 0 : it->second;
}

void FirmwareModel::ResetCounters() {
    m_requests = 0;
    m_framingErrorCount = 0;
    m_framingErrors.clear();
    m_commandCounts.clear();
}

Json::Value FirmwareModel::DumpState() const {
    Json::Value out(Json::objectValue);
    out["requests"] = Json::UInt64(m_requests);
    out["framingErrorCount"] = Json::UInt64(m_framingErrorCount);
    Json::Value errors(Json::arrayValue);
    for (const FramingError& e : m_framingErrors) {
        Json::Value item(Json::objectValue);
        item["kind"] = e.kind;
        item["command"] = e.command;
        item["packet"] = e.packet;
        errors.append(item);
    }
    out["framingErrors"] = errors;
    Json::Value counts(Json::objectValue);
    for (const auto& [command, count] : m_commandCounts) {
        char key[8];
        std::snprintf(key, sizeof key, "0x%02x", command);
        counts[key] = Json::UInt64(count);
    }
    out["commands"] = counts;
    return out;
}

bool FirmwareModel::SetArea(const std::string&, size_t, const std::vector<uint8_t>&) {
    return false;
}

} // namespace talyx::vdev
