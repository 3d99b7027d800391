// Update server replies are untrusted. The input is one reply body, copied into a heap
// block of exactly its size; whatever it holds, parsing must not crash, and an accepted
// reply must have the shape the update page relies on.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "online/UpdateReply.h"

using namespace talyx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<char[]> reply(new char[size ? size : 1]);
    std::memcpy(reply.get(), data, size);
    UpdateReply parsed;
    if (!ParseUpdateReply(reply.get(), size, parsed))
        return 0;
    if (size > kUpdateReplyCapacity)
        std::abort();
    if (!parsed.name.empty() && (parsed.sha256.size() != 0 && parsed.sha256.size() != 64))
        std::abort();
    for (char c : parsed.sha256)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            std::abort();
    // The same bytes give the same answer.
    UpdateReply again;
    if (!ParseUpdateReply(reply.get(), size, again) || again.path != parsed.path || again.version != parsed.version)
        std::abort();
    return 0;
}
