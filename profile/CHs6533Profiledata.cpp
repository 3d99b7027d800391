#include "profile/CHs6533Profiledata.h"

#include "profile/JsonFields.h"

namespace talyx {
namespace {

constexpr const char* kSettingKeys[8] = {"MagicEnable", "MagicType",  "EqType",           "CustomEqSeletIndex",
                                         "MicInSelect", "MicInValue", "MicMoniterSelect", "MicMoniterValue"};
// Custom presets beyond this are refused rather than growing the document without end.
constexpr int kMaxCustomPresets = 256;

CHs6533Profiledata::EqBands readBands(const Json::Value& list) {
    CHs6533Profiledata::EqBands bands{};
    for (Json::ArrayIndex b = 0; b < bands.size(); ++b)
        bands[b] = FieldI32(ElementOf(list, b), "value");
    return bands;
}

Json::Value bandsToJson(const CHs6533Profiledata::EqBands& bands) {
    Json::Value list(Json::arrayValue);
    for (int32_t v : bands) {
        Json::Value e(Json::objectValue);
        e["value"] = v;
        list.append(e);
    }
    return list;
}

} // namespace

HeadsetSettings CHs6533Profiledata::GetHeadsetSettings() {
    const Json::Value& s = MemberOf(m_entry, "SystemSetStages");
    std::array<int32_t, 8> v{};
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = FieldI32(s, kSettingKeys[i]);
    m_settings = HeadsetSettings::fromValues(v);
    return m_settings;
}

void CHs6533Profiledata::SetHeadsetSettings(const HeadsetSettings& settings) {
    m_settings = settings;
    Json::Value& s = ObjectMember(m_entry, "SystemSetStages");
    const auto v = settings.values();
    for (size_t i = 0; i < v.size(); ++i)
        s[kSettingKeys[i]] = v[i];
}

CHs6533Profiledata::EqBands CHs6533Profiledata::GetEqBands(int preset) {
    if (preset < 0 || preset >= kEqPresets)
        return EqBands{};
    return readBands(ElementOf(MemberOf(m_entry, "EQHzValueInfo"), static_cast<Json::ArrayIndex>(preset)));
}

void CHs6533Profiledata::SetEqBands(int preset, const EqBands& bands) {
    if (preset < 0 || preset >= kEqPresets)
        return;
    ArrayMember(m_entry, "EQHzValueInfo")[static_cast<Json::ArrayIndex>(preset)] = bandsToJson(bands);
}

std::vector<std::string> CHs6533Profiledata::GetCustomEqNames() {
    std::vector<std::string> names;
    const Json::Value& list = MemberOf(m_entry, "CustomEQNameInfo");
    for (Json::ArrayIndex i = 0; list.isArray() && i < list.size(); ++i)
        names.push_back(FieldString(list[i], "Name"));
    return names;
}

void CHs6533Profiledata::SetCustomEqNames(const std::vector<std::string>& names) {
    Json::Value list(Json::arrayValue);
    for (const std::string& n : names) {
        Json::Value e(Json::objectValue);
        e["Name"] = n;
        list.append(e);
    }
    ArrayMember(m_entry, "CustomEQNameInfo") = list;
}

CHs6533Profiledata::EqBands CHs6533Profiledata::GetCustomEqBands(int index) {
    if (index < 0)
        return EqBands{};
    return readBands(ElementOf(MemberOf(m_entry, "CustomEQHzValueInfo"), static_cast<Json::ArrayIndex>(index)));
}

void CHs6533Profiledata::SetCustomEqBands(int index, const EqBands& bands) {
    if (index < 0 || index >= kMaxCustomPresets)
        return;
    ArrayMember(m_entry, "CustomEQHzValueInfo")[static_cast<Json::ArrayIndex>(index)] = bandsToJson(bands);
}

} // namespace talyx
