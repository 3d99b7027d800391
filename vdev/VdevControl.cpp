#include "vdev/VdevControl.h"

#include <string>

#include "vdev/VdevFraming.h"
#include "vdev/VirtualBus.h"

namespace talyx::vdev {
namespace {

Json::Value failure(const std::string& why) {
    Json::Value reply(Json::objectValue);
    reply["ok"] = false;
    reply["error"] = why;
    return reply;
}

Json::Value success() {
    Json::Value reply(Json::objectValue);
    reply["ok"] = true;
    return reply;
}

int intField(const Json::Value& request, const char* name, int fallback) {
    const Json::Value& v = request[name];
    return v.isInt() ? v.asInt() : fallback;
}

} // namespace

Json::Value VdevControl::Handle(const Json::Value& request) {
    const std::string cmd = request["cmd"].isString() ? request["cmd"].asString() : std::string();
    if (cmd == "ping")
        return success();
    if (cmd == "quit") {
        m_bus.Stop();
        return success();
    }
    if (cmd == "state") {
        Json::Value reply = success();
        reply["bus"] = m_bus.Folder();
        reply["pollUs"] = m_bus.PollIntervalUs();
        Json::Value devices(Json::arrayValue);
        for (int i = 0; i < m_bus.DeviceCount(); ++i) {
            VirtualDevice* d = m_bus.Device(i);
            Json::Value state = d->DumpState();
            Json::Value connections(Json::arrayValue);
            for (size_t c = 0; c < d->Collections().size(); ++c)
                connections.append(m_bus.ConnectionCount(i, static_cast<int>(c)));
            state["connections"] = connections;
            devices.append(state);
        }
        reply["devices"] = devices;
        return reply;
    }

    if (cmd == "timing") {
        int pollUs = intField(request, "pollUs", -1);
        if (request["timing"].isString() && !ParseTiming(request["timing"].asString(), pollUs))
            return failure("\"timing\" is usb, receiver or fast");
        if (pollUs < 0 || pollUs > 100000)
            return failure("\"pollUs\" must be 0 to 100000");
        m_bus.SetPollInterval(static_cast<uint32_t>(pollUs));
        return success();
    }

    const int index = intField(request, "device", 0);
    VirtualDevice* device = m_bus.Device(index);
    if (!device)
        return failure(cmd.empty() ? "missing \"cmd\"" : "no device " + std::to_string(index));

    if (cmd == "fault") {
        const std::string kind = request["kind"].isString() ? request["kind"].asString() : std::string();
        const int count = intField(request, "count", 1);
        if (count < 0)
            return failure("count must not be negative");
        FaultPlan& faults = device->Faults();
        if (kind == "no-reply") {
            faults.noReply = count;
        } else if (kind == "stale") {
            faults.stale = count;
        } else if (kind == "status") {
            const int status = intField(request, "status", 0xFF);
            if (status != 0xFF && status != 0xFE)
                return failure("status must be 255 or 254");
            faults.status = static_cast<uint8_t>(status);
            faults.statusCount = count;
        } else if (kind == "unreachable") {
            faults.unreachable = count;
        } else if (kind == "unplug-after") {
            const int packets = intField(request, "packets", 0);
            if (packets < 0)
                return failure("packets must not be negative");
            if (packets == 0) {
                m_bus.Unplug(index);
            } else {
                faults.unplugAfter = packets;
            }
        } else {
            return failure("unknown fault kind \"" + kind + "\"");
        }
        return success();
    }
    if (cmd == "clear-faults") {
        device->Faults() = FaultPlan();
        return success();
    }
    if (cmd == "notify") {
        const Json::Value& usage = request["usage"];
        if (!usage.isUInt() || usage.asUInt() > 0xFFFF)
            return failure("\"usage\" must be a number from 0 to 65535");
        const int count = intField(request, "count", 1);
        if (count < 1 || count > 1000000)
            return failure("\"count\" must be 1 to 1000000");
        // A burst goes out at once, as fast as the connection takes it (a flood test);
        // reports the connection has no room for are dropped.
        for (int i = 0; i < count; ++i)
            if (!m_bus.Notify(index, static_cast<uint16_t>(usage.asUInt())))
                return failure("device has no notification collection or is unplugged");
        return success();
    }
    if (cmd == "online") {
        KeyboardFirmware* keyboard = device->Keyboard();
        EmptyFirmware* family = device->Family();
        if (!(keyboard && keyboard->IsReceiver()) && !(family && family->IsReceiver()))
            return failure("only a receiver has an online state");
        if (!request["online"].isBool())
            return failure("\"online\" must be true or false");
        if (keyboard)
            keyboard->SetOnline(request["online"].asBool());
        else
            family->SetOnline(request["online"].asBool());
        return success();
    }
    if (cmd == "unplug") {
        m_bus.Unplug(index);
        return success();
    }
    if (cmd == "plug") {
        std::string error;
        if (!m_bus.Plug(index, &error))
            return failure(error);
        return success();
    }
    if (cmd == "set") {
        std::vector<uint8_t> bytes;
        if (!request["area"].isString() || !request["hex"].isString() || !FromHex(request["hex"].asString(), bytes))
            return failure("\"area\" and \"hex\" are required");
        const int offset = intField(request, "offset", 0);
        if (offset < 0 || !device->Firmware().SetArea(request["area"].asString(), static_cast<size_t>(offset), bytes))
            return failure("no such area or range");
        return success();
    }
    if (cmd == "reset-counters") {
        device->Firmware().ResetCounters();
        return success();
    }
    return failure(cmd.empty() ? "missing \"cmd\"" : "unknown command \"" + cmd + "\"");
}

} // namespace talyx::vdev
