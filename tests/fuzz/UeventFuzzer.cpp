// Uevent messages come from a netlink socket that udev and the kernel write, and that the
// program only takes as a hint: any byte string must parse or be refused without a read
// outside it. The input is copied into a heap block of exactly its size.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "device/transport/UeventWatch.h"

using namespace talyx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<uint8_t[]> message(new uint8_t[size]);
    if (size)
        std::memcpy(message.get(), data, size);
    UeventWatch::Uevent event;
    if (UeventWatch::Parse(message.get(), size, event) && event.devName.find('/') != std::string::npos)
        std::abort(); // a node name, never a path
    return 0;
}
