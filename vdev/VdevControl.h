#pragma once

#include <json/value.h>

namespace talyx::vdev {

class VirtualBus;

// The control protocol of talyx-vdev: one JSON object per request, one per reply.
//
// Every reply has "ok" (true or false) and, on failure, "error". Requests name a device
// by its position on the command line with "device" (default 0):
//   {"cmd":"ping"}
//   {"cmd":"state"}                               whole state, byte areas as hex strings
//   {"cmd":"timing","timing":"fast"}              or "pollUs":N: the bus's poll interval
//   {"cmd":"fault","kind":"no-reply","count":N}
//   {"cmd":"fault","kind":"stale","count":N}      N stale replies before the next reply
//   {"cmd":"fault","kind":"status","status":255,"count":N}   or 254
//   {"cmd":"fault","kind":"unreachable","count":N}
//   {"cmd":"fault","kind":"unplug-after","packets":N}        unplug after N more requests
//   {"cmd":"clear-faults"}
//   {"cmd":"notify","usage":1025}                 one notification report ("count":N, a burst)
//   {"cmd":"online","online":false}               receiver only
//   {"cmd":"unplug"}   {"cmd":"plug"}
//   {"cmd":"set","area":"status","offset":0,"hex":"0001640000"}
//   {"cmd":"reset-counters"}
//   {"cmd":"quit"}
class VdevControl {
public:
    explicit VdevControl(VirtualBus& bus) : m_bus(bus) {}
    Json::Value Handle(const Json::Value& request);

private:
    VirtualBus& m_bus;
};

} // namespace talyx::vdev
