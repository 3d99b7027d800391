// The hello of the virtual bus comes from whatever serves the bus folder: any byte
// string must be taken as a hello or refused without a read outside it, and what is
// taken must encode back to the same bytes and carry a descriptor of the stated length.
// The input is copied into a heap block of exactly its size.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "device/transport/ReportDescriptor.h"
#include "device/transport/VirtualBusBackend.h"

using namespace talyx;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<uint8_t[]> hello(new uint8_t[size]);
    if (size)
        std::memcpy(hello.get(), data, size);
    HidNodeInfo info;
    if (!VirtualBusBackend::ParseHello(hello.get(), size, info))
        return 0;
    check(size == VirtualBusBackend::kHelloHeader + info.reportDescriptor.size());
    const std::vector<uint8_t> again = VirtualBusBackend::MakeHello(
        info.attributes.vendorId, info.attributes.productId, info.attributes.versionNumber, info.reportDescriptor);
    check(again.size() == size && std::memcmp(again.data(), hello.get(), size) == 0);
    // What the program does next with it.
    ReportDescriptor descriptor;
    descriptor.Parse(info.reportDescriptor);
    return 0;
}
