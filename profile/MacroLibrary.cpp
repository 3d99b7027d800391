#include "profile/MacroLibrary.h"

#include <cerrno>
#include <cstdlib>

#include "platform/JsonFile.h"
#include "platform/Paths.h"
#include "profile/JsonFields.h"
#include "profile/ProfileFiles.h"

namespace talyx {
namespace {

constexpr int64_t kMaxDelay = 0xFFFF;

uint16_t clampDelay(int64_t value) {
    if (value < 0)
        return 0;
    return static_cast<uint16_t>(value > kMaxDelay ? kMaxDelay : value);
}

} // namespace

bool MacroLibrary::Load() {
    m_entries.clear();
    const Json::Value root = readjsonFile(JoinPath(m_folder, kIndexFileName));
    if (root.isNull())
        return false;
    const Json::Value& list = MemberOf(root, "MacroInfo");
    for (Json::ArrayIndex i = 0; list.isArray() && i < list.size(); ++i)
        m_entries.push_back({FieldString(list[i], "MacroName"), FieldString(list[i], "Guid")});
    return true;
}

std::vector<std::string> MacroLibrary::Names() const {
    std::vector<std::string> names;
    names.reserve(m_entries.size());
    for (const MacroInfoEntry& e : m_entries)
        names.push_back(e.name);
    return names;
}

std::string MacroLibrary::MacroFilePath(size_t index) const {
    // The Guid comes from a file the user may edit: one such as "../x" must not lead the
    // download out of the macro folder.
    if (index >= m_entries.size() || !IsSafeFileStem(m_entries[index].guid))
        return std::string();
    return JoinPath(m_folder, m_entries[index].guid + kMacroExtension);
}

std::vector<MacroEvent> MacroLibrary::ReadEvents(size_t index) const {
    const std::string path = MacroFilePath(index);
    return path.empty() ? std::vector<MacroEvent>() : ReadMacroFile(path);
}

std::vector<MacroEvent> MacroLibrary::ReadMacroFile(const std::string& path) {
    std::vector<MacroEvent> events;
    const Json::Value root = readjsonFile(path);
    const Json::Value& list = MemberOf(root, "Events");
    for (Json::ArrayIndex i = 0; list.isArray() && i < list.size(); ++i)
        events.push_back(EventFromJson(list[i]));
    return events;
}

uint16_t MacroLibrary::DelayFromJson(const Json::Value& delay) {
    if (delay.isString()) {
        const std::string text = delay.asString();
        const char* start = text.c_str();
        char* end = nullptr;
        errno = 0;
        const long long value = std::strtoll(start, &end, 10);
        if (end == start)
            return 0;
        if (errno == ERANGE)
            return value < 0 ? 0 : static_cast<uint16_t>(kMaxDelay);
        return clampDelay(value);
    }
    if (delay.isNumeric())
        return clampDelay(JsonInteger(delay));
    return 0;
}

MacroEvent MacroLibrary::EventFromJson(const Json::Value& event) {
    MacroEvent e;
    e.delay = DelayFromJson(MemberOf(event, "Delay"));
    e.type = FieldU8(event, "Type");
    e.button = FieldU8(event, "Button");
    e.down = FieldString(event, "Action") == "down";
    return e;
}

} // namespace talyx
