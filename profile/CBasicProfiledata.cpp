#include "profile/CBasicProfiledata.h"

#include "platform/JsonFile.h"
#include "profile/JsonFields.h"
#include "profile/ProfileFiles.h"

namespace talyx {
namespace {

constexpr int kMaxEntryIndex = 255;

Json::Value zoneToJson(const LedZone& z, const Json::Value& previous) {
    // Members the program does not know stay in the element.
    Json::Value v = previous.isObject() ? previous : Json::Value(Json::objectValue);
    v["LEDREGMode"] = z.regMode;
    v["LEDBrightness"] = z.brightness;
    v["LEDSpeed"] = z.speed;
    v["LEDDirection"] = z.direction;
    v["LEDMultiColor"] = z.multiColor;
    v["red"] = z.red;
    v["green"] = z.green;
    v["blue"] = z.blue;
    return v;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

CBasicProfiledata::CBasicProfiledata() = default;
CBasicProfiledata::~CBasicProfiledata() = default;

void CBasicProfiledata::SetProfilePath(const std::string& path) {
    if (!path.empty())
        m_profilePath = path;
}

void CBasicProfiledata::SetDefaultPath(const std::string& path) {
    if (!path.empty())
        m_defaultPath = path;
}

void CBasicProfiledata::SetEntryIndex(int index) {
    if (index >= 0 && index <= kMaxEntryIndex)
        m_entryIndex = index;
}

Json::Value CBasicProfiledata::loadEntry(const std::string& path) {
    if (path.empty())
        return Json::Value();
    bool unusable = false;
    Json::Value root = ReadDocument(path, unusable);
    const Json::Value& devices = MemberOf(root, "Device");
    Json::Value entry = ElementOf(devices, static_cast<Json::ArrayIndex>(m_entryIndex));
    if (entry.isObject())
        return entry;

    // The entry is missing (new profile, new device) or the document is damaged: take the
    // family's factory entry and store it. Anything that is there but cannot be read is
    // kept aside first, so a hand-edited file with a typo is not lost.
    const bool damaged = unusable || (!devices.isNull() && !devices.isArray()) || !entry.isNull();
    if (damaged)
        KeepCorruptFile(path);
    if (!root.isObject())
        root = Json::Value(Json::objectValue);
    const Json::Value defaults = readjsonFile(m_defaultPath);
    entry = ElementOf(MemberOf(defaults, "Device"), static_cast<Json::ArrayIndex>(m_entryIndex));
    ArrayMember(root, "Device")[static_cast<Json::ArrayIndex>(m_entryIndex)] = entry;
    WriteDocument(root, path);
    return entry;
}

Json::Value CBasicProfiledata::LoadDeviceEntry() {
    m_entry = loadEntry(m_profilePath);
    return m_entry;
}

Json::Value CBasicProfiledata::LoadSecondEntry(const std::string& path) {
    m_secondEntry = loadEntry(path);
    return m_secondEntry;
}

bool CBasicProfiledata::SaveProfile() {
    return WriteDeviceEntry(m_entry, m_profilePath);
}

bool CBasicProfiledata::WriteDeviceEntry(const Json::Value& entry, const std::string& path) {
    if (path.empty())
        return false;
    Json::Value root = ReadDocumentForUpdate(path);
    if (!MemberOf(root, "Device").isNull() && !MemberOf(root, "Device").isArray())
        KeepCorruptFile(path);
    ArrayMember(root, "Device")[static_cast<Json::ArrayIndex>(m_entryIndex)] = entry;
    return WriteDocument(root, path);
}

bool CBasicProfiledata::SaveSecondEntry(const std::string& path) {
    return WriteDeviceEntry(m_secondEntry, path);
}

bool CBasicProfiledata::WriteDocument(const Json::Value& root, const std::string& path) {
    if (path.empty())
        return false;
    return WriteProfileFile(path, root);
}

LightInfo CBasicProfiledata::GetLightInfo() {
    const Json::Value& v = MemberOf(m_entry, "LightInfo");
    if (!v.isObject()) {
        m_lightInfo = LightInfo();
        return m_lightInfo;
    }
    LightInfo li;
    li.selectItem = FieldU8(v, "SelectItem");
    li.light = FieldU8(v, "Light");
    li.speed = FieldU8(v, "Speed");
    li.fx = FieldU8(v, "Fx");
    li.multiColor = FieldBool(v, "MultiColor") ? 1 : 0;
    li.red = FieldU8(v, "Red");
    li.green = FieldU8(v, "Green");
    li.blue = FieldU8(v, "Blue");
    li.spare = m_lightInfo.spare; // the device code's bytes live in memory only
    li.zzccLedMode = FieldU8(v, "ZZCCLedMode");
    li.customGroup = FieldU8(v, "CustomGroup");
    li.oldLedMode = FieldU8(v, "OldLedmode");
    m_lightInfo = li;
    return li;
}

void CBasicProfiledata::SetLightInfo(const LightInfo& li) {
    m_lightInfo = li;
    Json::Value& v = ObjectMember(m_entry, "LightInfo");
    v["SelectItem"] = li.selectItem;
    v["Light"] = li.light;
    v["Speed"] = li.speed;
    v["Fx"] = li.fx;
    v["MultiColor"] = li.multiColor;
    v["Red"] = li.red;
    v["Green"] = li.green;
    v["Blue"] = li.blue;
    v["ZZCCLedMode"] = li.zzccLedMode;
    v["CustomGroup"] = li.customGroup;
    v["OldLedmode"] = li.oldLedMode;
}

void CBasicProfiledata::SetLightInfo(uint32_t w0, uint32_t w1, uint32_t w2, uint16_t half) {
    SetLightInfo(LightInfo::fromWords(w0, w1, w2, half));
}

AudioLightInfo CBasicProfiledata::GetAudioLightInfo() {
    const Json::Value& v = MemberOf(m_entry, "AudioLightInfo");
    AudioLightInfo a;
    if (v.isObject()) {
        a.audioMode = FieldU8(v, "AudioMode");
        a.bkRed = FieldU8(v, "BkColorR");
        a.bkGreen = FieldU8(v, "BkColorG");
        a.bkBlue = FieldU8(v, "BkColorB");
        a.fgRed = FieldU8(v, "FgColorR");
        a.fgGreen = FieldU8(v, "FgColorG");
        a.fgBlue = FieldU8(v, "FgColorB");
        a.sevenColor = FieldBool(v, "7ColorFlags") ? 1 : 0;
        a.colorType = FieldBool(v, "ColorTypeFlags") ? 1 : 0;
    }
    m_audioLightInfo = a;
    return a;
}

void CBasicProfiledata::SetAudioLightInfo(const AudioLightInfo& a) {
    m_audioLightInfo = a;
    Json::Value& v = ObjectMember(m_entry, "AudioLightInfo");
    v["AudioMode"] = a.audioMode;
    v["BkColorR"] = a.bkRed;
    v["BkColorG"] = a.bkGreen;
    v["BkColorB"] = a.bkBlue;
    v["FgColorR"] = a.fgRed;
    v["FgColorG"] = a.fgGreen;
    v["FgColorB"] = a.fgBlue;
    v["7ColorFlags"] = a.sevenColor ? 1 : 0;
    v["ColorTypeFlags"] = a.colorType ? 1 : 0;
}

void CBasicProfiledata::SetAudioLightInfo(uint32_t w0, uint32_t w1, uint8_t last) {
    SetAudioLightInfo(AudioLightInfo::fromWords(w0, w1, last));
}

std::vector<LedZone> CBasicProfiledata::GetLightList() {
    const Json::Value& list = MemberOf(m_entry, "LightList");
    std::vector<LedZone> zones(list.isArray() ? list.size() : 0);
    for (Json::ArrayIndex i = 0; i < zones.size(); ++i) {
        const Json::Value& e = list[i];
        if (!e.isObject())
            continue; // a zone the document leaves out: zeros, present = 0
        LedZone& z = zones[i];
        z.regMode = FieldU8(e, "LEDREGMode");
        z.brightness = FieldU8(e, "LEDBrightness");
        z.speed = FieldU8(e, "LEDSpeed");
        z.direction = FieldBool(e, "LEDDirection") ? 1 : 0;
        z.multiColor = FieldBool(e, "LEDMultiColor") ? 1 : 0;
        z.red = FieldU8(e, "red");
        z.green = FieldU8(e, "green");
        z.blue = FieldU8(e, "blue");
        z.present = 1;
    }
    m_zones = zones;
    return zones;
}

void CBasicProfiledata::SetLightList(const std::vector<LedZone>& zones) {
    m_zones = zones;
    const Json::Value previous = MemberOf(m_entry, "LightList");
    Json::Value list(Json::arrayValue);
    for (Json::ArrayIndex i = 0; i < zones.size(); ++i)
        list[i] = zones[i].present ? zoneToJson(zones[i], ElementOf(previous, i)) : Json::Value();
    ArrayMember(m_entry, "LightList") = list;
}

KeyList CBasicProfiledata::ReadKeyList(const Json::Value& entry) {
    const Json::Value& list = MemberOf(entry, "KeyList");
    KeyList keys(list.isArray() ? list.size() : 0);
    for (Json::ArrayIndex i = 0; i < keys.size(); ++i) {
        KeyRecord& k = keys[i];
        k.index = static_cast<uint16_t>(i);
        k.defaultIndex = static_cast<uint16_t>(i);
        k.setCode(FieldU32(list[i], "Assignment") & 0xFFFFFF);
        const uint32_t def = FieldU32(list[i], "DefaultAssignment") & 0xFFFFFF;
        k.defaultType = static_cast<uint8_t>(def >> 16);
        k.defaultHigh = static_cast<uint8_t>(def >> 8);
        k.defaultLow = static_cast<uint8_t>(def);
    }
    return keys;
}

void CBasicProfiledata::WriteKeyList(Json::Value& entry, const KeyList& keys) {
    Json::Value& list = ArrayMember(entry, "KeyList");
    for (Json::ArrayIndex i = 0; i < keys.size(); ++i) {
        Json::Value& e = list[i];
        if (!e.isObject())
            e = Json::Value(Json::objectValue);
        e["Assignment"] = static_cast<Json::Int>(keys[i].code());
    }
}

KeyList CBasicProfiledata::GetKeyList() {
    m_keyList = ReadKeyList(m_entry);
    return m_keyList;
}

void CBasicProfiledata::SetKeyList(const KeyList& keys) {
    m_keyList = keys;
    WriteKeyList(m_entry, keys);
}

void CBasicProfiledata::SetKeyAssignment(size_t position, uint32_t code) {
    if (position >= m_keyList.size()) {
        const size_t from = m_keyList.size();
        m_keyList.resize(position + 1);
        for (size_t i = from; i < m_keyList.size(); ++i)
            m_keyList[i].index = m_keyList[i].defaultIndex = static_cast<uint16_t>(i);
    }
    m_keyList[position].setCode(code & 0xFFFFFF);
    Json::Value& e = ArrayMember(m_entry, "KeyList")[static_cast<Json::ArrayIndex>(position)];
    if (!e.isObject())
        e = Json::Value(Json::objectValue);
    e["Assignment"] = static_cast<Json::Int>(m_keyList[position].code());
}

KeyList CBasicProfiledata::GetSecondKeyList() {
    m_secondKeyList = ReadKeyList(m_entry);
    return m_secondKeyList;
}

void CBasicProfiledata::SetSecondKeyList(const KeyList& keys) {
    m_secondKeyList = keys;
    WriteKeyList(m_entry, keys);
}

KeyList CBasicProfiledata::GetSecondEntryKeyList() const {
    return ReadKeyList(m_secondEntry);
}

void CBasicProfiledata::SetSecondEntryKeyList(const KeyList& keys) {
    WriteKeyList(m_secondEntry, keys);
}

std::vector<KeyColour> CBasicProfiledata::GetCustomColours(int group, const std::vector<KeyColour>& defaults) {
    std::vector<KeyColour> colours = defaults;
    const Json::Value& groupList = ElementOf(MemberOf(MemberOf(m_entry, "CustomLightMode"), "LightColorInfo"),
                                             static_cast<Json::ArrayIndex>(group < 0 ? 0 : group));
    if (group >= 0 && !groupList.isNull()) {
        for (Json::ArrayIndex j = 0; j < colours.size(); ++j) {
            const Json::Value& c = ElementOf(groupList, j);
            if (c.isNull())
                continue;
            colours[j] = {FieldU8(c, "Red"), FieldU8(c, "Green"), FieldU8(c, "Blue"), FieldU8(c, "Alpha")};
        }
    }
    m_customColours[group] = colours;
    return colours;
}

void CBasicProfiledata::SetCustomColours(int group, const std::vector<KeyColour>& colours) {
    if (group < 0 || group > kMaxEntryIndex)
        return;
    m_customColours[group] = colours;
    Json::Value& groups = ArrayMember(ObjectMember(m_entry, "CustomLightMode"), "LightColorInfo");
    Json::Value list(Json::arrayValue);
    for (Json::ArrayIndex j = 0; j < colours.size(); ++j) {
        Json::Value c(Json::objectValue);
        c["Red"] = colours[j].red;
        c["Green"] = colours[j].green;
        c["Blue"] = colours[j].blue;
        c["Alpha"] = colours[j].alpha;
        list[j] = c;
    }
    groups[static_cast<Json::ArrayIndex>(group)] = list;
}

int CBasicProfiledata::GetCustomGroupIndex() {
    m_customGroupIndex = FieldI32(MemberOf(m_entry, "CustomLightMode"), "CustomLightModeGroupIndex");
    return m_customGroupIndex;
}

void CBasicProfiledata::SetCustomGroupIndex(int group) {
    m_customGroupIndex = group;
    ObjectMember(m_entry, "CustomLightMode")["CustomLightModeGroupIndex"] = group;
}

bool CBasicProfiledata::LoadCustomEffectLibrary() {
    JsonFileState state;
    m_effectLibrary = m_effectLibraryPath.empty()
                          ? Json::Value()
                          : ReadJsonKeepingDamaged(m_effectLibraryPath, state, kMaxJsonIndexBytes);
    return !m_effectLibrary.isNull();
}

std::vector<EffectStep> CBasicProfiledata::GetCustomEffectSteps(int styleIndex) const {
    std::vector<EffectStep> steps;
    if (m_effectLibrary.isNull() || styleIndex < 0)
        return steps;
    const Json::Value& style =
        ElementOf(ElementOf(MemberOf(m_effectLibrary, "LightInfo"), static_cast<Json::ArrayIndex>(m_entryIndex)),
                  static_cast<Json::ArrayIndex>(styleIndex));
    const std::string guid = FieldString(style, "Guid");
    // Effect files sit beside the library; a Guid that is a path is not followed.
    if (!IsSafeFileStem(guid))
        return steps;
    const std::string folder = folderOf(m_effectLibraryPath);
    const std::string file = (folder.empty() ? guid : folder + "/" + guid) + kCustomEffectExtension;
    const Json::Value root = readjsonFile(file);
    const Json::Value& list = MemberOf(root, "LEDEffectList");
    if (!list.isArray())
        return steps;
    for (const Json::Value& e : list) {
        EffectStep s;
        s.regMode = FieldU8(e, "LEDREGMode");
        s.brightness = FieldU8(e, "LEDBrightness");
        s.speed = FieldU8(e, "LEDSpeed");
        s.direction = FieldU8(e, "LEDDirection");
        s.multiColor = FieldU8(e, "LEDMultiColor");
        s.red = FieldU8(e, "red");
        s.green = FieldU8(e, "green");
        s.blue = FieldU8(e, "blue");
        s.time = FieldU32(e, "Time");
        s.cycle = FieldU32(e, "Cyle");
        steps.push_back(s);
    }
    return steps;
}

} // namespace talyx
