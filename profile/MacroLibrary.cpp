#include "profile/MacroLibrary.h"

#include <cerrno>
#include <cstdlib>

#include "platform/Debug.h"
#include "platform/FileIO.h"
#include "platform/JsonFile.h"
#include "platform/Paths.h"
#include "profile/JsonFields.h"
#include "profile/ProfileFiles.h"
#include "profile/ProfileNames.h"

namespace talyx {
namespace {

constexpr int64_t kMaxDelay = 0xFFFF;

uint16_t clampDelay(int64_t value) {
    if (value < 0)
        return 0;
    return static_cast<uint16_t>(value > kMaxDelay ? kMaxDelay : value);
}

// A macro file that is damaged, or that holds no object, is kept aside; null then.
Json::Value readMacroJson(const std::string& path, size_t maxBytes) {
    JsonFileState state;
    Json::Value root = ReadJsonKeepingDamaged(path, state, maxBytes);
    if (root.isNull() || root.isObject())
        return root;
    KeepAside(path);
    return Json::Value();
}

} // namespace

bool MacroLibrary::Load() {
    m_entries.clear();
    if (m_folder.empty())
        return false;
    const std::string index = JoinPath(m_folder, kIndexFileName);
    JsonFileState state;
    Json::Value root = readjsonFile(index, state, kMaxJsonIndexBytes);
    if (IsDamaged(state) || (state == JsonFileState::Ok && !root.isObject())) {
        KeepAside(index);
        root = rebuildIndex();
    }
    if (root.isNull())
        return false;
    const Json::Value& list = MemberOf(root, "MacroInfo");
    for (Json::ArrayIndex i = 0; list.isArray() && i < list.size(); ++i)
        m_entries.push_back({FieldString(list[i], "MacroName"), FieldString(list[i], "Guid")});
    return true;
}

Json::Value MacroLibrary::rebuildIndex() const {
    // Guids are time stamps of creation and new macros go to the end of the list, so in
    // their order the macros take their old places, which key assignments refer to.
    const std::vector<std::string> guids = FileStemsIn(m_folder, kMacroExtension);
    Json::Value root(Json::objectValue);
    Json::Value& list = ArrayMember(root, "MacroInfo");
    std::vector<std::string> names;
    for (const std::string& guid : guids) {
        if (names.size() >= kMaxMacros)
            break;
        JsonFileState state;
        const Json::Value file = readjsonFile(JoinPath(m_folder, guid + kMacroExtension), state);
        if (!file.isObject() || !IsSafeFileStem(guid))
            continue;
        std::string name = TrimBlanks(FieldString(file, "MacroName"));
        for (int n = 1; name.empty() || FindNameIgnoringCase(names, name) >= 0; ++n)
            name = "macro_" + std::to_string(n);
        names.push_back(name);
        Json::Value entry(Json::objectValue);
        entry["MacroName"] = name;
        entry["Guid"] = guid;
        list.append(entry);
    }
    DebugOutputF("macro: library rebuilt from %u macro files in %s\n", list.size(), m_folder.c_str());
    if (!writejsonFile(JoinPath(m_folder, kIndexFileName), root))
        DebugOutputF("macro: could not write %s\n", JoinPath(m_folder, kIndexFileName).c_str());
    return root;
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
    const Json::Value root = readMacroJson(path, kMaxJsonDocumentBytes);
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
