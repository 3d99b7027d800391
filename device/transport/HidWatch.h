#pragma once

namespace talyx {

// A hint that HID collections may have come or gone: a descriptor that turns readable
// when the system says so (a uevent of the hidraw subsystem, a file created in or removed
// from the virtual bus folder). The hint is only a wake-up: the scan always looks at
// what is really present, so a hint that is wrong or forged costs one pass, no more.
class HidWatch {
public:
    virtual ~HidWatch() = default;
    // The descriptor to poll for POLLIN; -1 when the watch could not be set up.
    virtual int fd() const = 0;
    // Reads everything pending without blocking. True when some of it concerns HID
    // collections (an arrival, a removal or a change), false when it was all unrelated.
    virtual bool drain() = 0;
};

} // namespace talyx
