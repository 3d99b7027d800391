#include "profile/MacroLibrary.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Clock.h"
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

// ---- changes ----

Json::Value MacroLibrary::indexForUpdate() {
    // Load keeps a damaged index aside and rebuilds it, so what is read here is either
    // the user's own file or the rebuilt one.
    Load();
    JsonFileState state;
    Json::Value root = readjsonFile(JoinPath(m_folder, kIndexFileName), state, kMaxJsonIndexBytes);
    if (!root.isObject())
        root = Json::Value(Json::objectValue);
    Json::Value& list = root["MacroInfo"];
    if (!list.isArray())
        list = Json::Value(Json::arrayValue);
    return root;
}

bool MacroLibrary::writeIndex(const Json::Value& root) {
    const std::string path = JoinPath(m_folder, kIndexFileName);
    if (!writejsonFile(path, root)) {
        DebugOutputF("macro: could not write %s\n", path.c_str());
        return false;
    }
    Load();
    return true;
}

std::string MacroLibrary::NewMacroName() const {
    const std::vector<std::string> names = Names();
    std::string name;
    for (int n = 1;; ++n) {
        name = "macro_" + std::to_string(n);
        if (FindNameIgnoringCase(names, name) < 0)
            return name;
    }
}

std::string MacroLibrary::NewGuid() const {
    for (;;) {
        const std::string guid = NewTimestampId();
        bool taken = false;
        for (const MacroInfoEntry& e : m_entries)
            taken = taken || e.guid == guid;
        struct stat st {};
        if (!taken && ::lstat(JoinPath(m_folder, guid + kMacroExtension).c_str(), &st) != 0)
            return guid;
    }
}

bool MacroLibrary::IsNameAvailable(const std::string& name, std::string* trimmed) const {
    const std::string t = TrimBlanks(name);
    if (trimmed)
        *trimmed = t;
    return !t.empty() && FindNameIgnoringCase(Names(), t) < 0;
}

int MacroLibrary::Add(const std::string& name) {
    Json::Value root = indexForUpdate();
    std::string trimmed;
    if (m_entries.size() >= kMaxMacros || !IsNameAvailable(name, &trimmed))
        return -1;
    Json::Value entry(Json::objectValue);
    entry["MacroName"] = trimmed;
    entry["Guid"] = NewGuid();
    Json::Value& list = root["MacroInfo"];
    // Entries past the ones read (a list longer than the library holds) are not kept.
    list.resize(static_cast<Json::ArrayIndex>(m_entries.size()));
    list.append(entry);
    const int index = static_cast<int>(list.size()) - 1;
    return writeIndex(root) ? index : -1;
}

bool MacroLibrary::Rename(size_t index, const std::string& name) {
    Json::Value root = indexForUpdate();
    std::string trimmed;
    if (index >= m_entries.size() || !IsNameAvailable(name, &trimmed))
        return false;
    Json::Value& entry = root["MacroInfo"][static_cast<Json::ArrayIndex>(index)];
    if (!entry.isObject())
        entry = Json::Value(Json::objectValue);
    entry["MacroName"] = trimmed;
    return writeIndex(root);
}

bool MacroLibrary::Remove(size_t index) {
    Json::Value root = indexForUpdate();
    if (index >= m_entries.size())
        return false;
    const std::string file = MacroFilePath(index);
    Json::Value removed;
    root["MacroInfo"].removeIndex(static_cast<Json::ArrayIndex>(index), &removed);
    // The index first: should the program stop in between, the library lists no macro
    // whose file is gone, and the file left over is only an unlisted one.
    if (!writeIndex(root))
        return false;
    if (!file.empty() && ::unlink(file.c_str()) != 0 && errno != ENOENT)
        DebugOutputF("macro: could not remove %s\n", file.c_str());
    return true;
}

bool MacroLibrary::WriteEvents(size_t index, const Json::Value& events) {
    Load();
    const std::string path = MacroFilePath(index);
    if (path.empty())
        return false;
    Json::Value root(Json::objectValue);
    root["MacroName"] = m_entries[index].name;
    root["Guid"] = m_entries[index].guid;
    Json::Value& list = root["Events"];
    list = Json::Value(Json::arrayValue);
    for (Json::ArrayIndex i = 0; events.isArray() && i < events.size() && list.size() < kMaxEvents; ++i) {
        if (!events[i].isObject())
            continue;
        Json::Value e = events[i];
        e["Delay"] = std::to_string(DelayFromJson(MemberOf(e, "Delay")));
        list.append(e);
    }
    root["Version"] = kFileVersion;
    if (!writejsonFile(path, root)) {
        DebugOutputF("macro: could not write %s\n", path.c_str());
        return false;
    }
    return true;
}

bool MacroLibrary::IsWellFormedEvent(const Json::Value& e) {
    if (!e.isObject())
        return false;
    const Json::Value& action = MemberOf(e, "Action");
    const Json::Value& type = MemberOf(e, "Type");
    const Json::Value& button = MemberOf(e, "Button");
    const Json::Value& delay = MemberOf(e, "Delay");
    if (!action.isString() || !type.isIntegral() || !button.isIntegral())
        return false;
    if (JsonInteger(type) < 0 || JsonInteger(type) > 0xFF || JsonInteger(button) < 0 || JsonInteger(button) > 0xFFFF)
        return false;
    if (delay.isIntegral())
        return JsonInteger(delay) >= 0 && JsonInteger(delay) <= kMaxDelay;
    if (!delay.isString())
        return false;
    const std::string text = delay.asString();
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    return std::stol(text) <= kMaxDelay;
}

namespace {

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

} // namespace

MacroLibrary::Exchange MacroLibrary::Import(size_t index, const std::string& path) const {
    const std::string target = MacroFilePath(index);
    if (target.empty())
        return Exchange::NoMacro;
    if (sameFile(path, target))
        return Exchange::SameFile;
    std::string bytes;
    if (ReadRegularFile(path, bytes, kMaxJsonDocumentBytes) != FileReadResult::Ok)
        return Exchange::Unreadable;
    bool ok = false;
    const Json::Value root = parseJson(bytes, &ok);
    if (!ok || root.isNull())
        return Exchange::Unreadable;
    const Json::Value& events = MemberOf(root, "Events");
    if (!root.isObject() || !events.isArray())
        return Exchange::NotAMacro;
    if (events.size() > kMaxEvents)
        return Exchange::TooManyEvents;
    for (const Json::Value& e : events) {
        if (!IsWellFormedEvent(e))
            return Exchange::BadEvent;
    }
    const Json::Value& guid = MemberOf(root, "Guid");
    if (!guid.isNull() && (!guid.isString() || !IsSafeFileStem(guid.asString())))
        return Exchange::BadGuid;
    return WriteFileAtomic(target, bytes) ? Exchange::Ok : Exchange::WriteFailed;
}

MacroLibrary::Exchange MacroLibrary::Export(size_t index, const std::string& path) const {
    const std::string source = MacroFilePath(index);
    if (source.empty())
        return Exchange::NoMacro;
    if (sameFile(path, source))
        return Exchange::SameFile;
    std::string bytes;
    const FileReadResult read = ReadRegularFile(source, bytes, kMaxJsonDocumentBytes);
    if (read == FileReadResult::Missing)
        return Exchange::NoFile;
    if (read != FileReadResult::Ok)
        return Exchange::Unreadable;
    return WriteFileAtomic(path, bytes) ? Exchange::Ok : Exchange::WriteFailed;
}

std::vector<std::string> MacroLibrary::RenumberProfileAssignments(const std::string& folder, size_t removed) {
    std::vector<std::string> changed;
    for (const std::string& uuid : FileStemsIn(folder, kProfileDocumentExtension)) {
        const std::string path = ProfileDocumentPath(folder, uuid);
        if (path.empty())
            continue;
        bool unusable = false;
        Json::Value root = ReadDocument(path, unusable);
        if (unusable || !root.isObject() || !MemberOf(root, "Device").isArray())
            continue;
        Json::Value& devices = root["Device"];
        bool any = false;
        for (Json::Value& entry : devices) {
            if (!entry.isObject() || !MemberOf(entry, "KeyList").isArray())
                continue;
            Json::Value& keys = entry["KeyList"];
            for (Json::Value& key : keys) {
                if (!key.isObject())
                    continue;
                const uint32_t code = static_cast<uint32_t>(JsonInteger(MemberOf(key, "Assignment"))) & 0xFFFFFF;
                const uint8_t type = static_cast<uint8_t>(code >> 16);
                const size_t macro = (code >> 8) & 0xFF;
                if ((type != 0x70 && type != 0x71) || macro < removed)
                    continue;
                const uint32_t next =
                    macro == removed ? static_cast<uint32_t>(JsonInteger(MemberOf(key, "DefaultAssignment"))) & 0xFFFFFF
                                     : code - 0x100;
                key["Assignment"] = static_cast<Json::Int>(next);
                any = true;
            }
        }
        if (any && WriteProfileFile(path, root))
            changed.push_back(uuid);
    }
    return changed;
}

} // namespace talyx
