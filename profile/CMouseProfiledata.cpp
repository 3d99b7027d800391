#include "profile/CMouseProfiledata.h"

#include "profile/JsonFields.h"

namespace talyx {
namespace {

uint32_t pair(uint16_t low, uint16_t high) { return uint32_t(low) | (uint32_t(high) << 16); }

} // namespace

std::vector<DpiStage> CMouseProfiledata::GetDpiStages() {
    const Json::Value& dpi = MemberOf(m_entry, "DPIStages");
    if (dpi.isNull())
        return m_dpiStages;
    m_activeDpiStage = FieldI32(dpi, "StageActive");
    const Json::Value& list = MemberOf(dpi, "StageDPIs");
    for (Json::ArrayIndex i = 0; list.isArray() && i < list.size(); ++i) {
        const Json::Value& e = list[i];
        DpiStage s;
        s.active = FieldU8(e, "StageActive");
        s.xy = FieldU8(e, "StageXY");
        s.dpiX = FieldU16(e, "StageDPIX");
        s.dpiY = FieldU16(e, "StageDPIY");
        s.red = FieldU8(e, "StageColorR");
        s.green = FieldU8(e, "StageColorG");
        s.blue = FieldU8(e, "StageColorB");
        if (i < m_dpiStages.size())
            m_dpiStages[i] = s;
        else
            m_dpiStages.push_back(s);
    }
    return m_dpiStages;
}

void CMouseProfiledata::SetDpiStages(int activeStage, const std::vector<DpiStage>& stages) {
    m_activeDpiStage = activeStage;
    m_dpiStages = stages;
    Json::Value& dpi = ObjectMember(m_entry, "DPIStages");
    dpi["StageActive"] = activeStage;
    Json::Value list(Json::arrayValue);
    for (const DpiStage& s : stages) {
        Json::Value e(Json::objectValue);
        e["StageActive"] = s.active;
        e["StageXY"] = s.xy;
        e["StageDPIX"] = s.dpiX;
        e["StageDPIY"] = s.dpiY;
        e["StageColorR"] = s.red;
        e["StageColorG"] = s.green;
        e["StageColorB"] = s.blue;
        list.append(e);
    }
    dpi["StageDPIs"] = list;
}

std::array<uint32_t, 3> CMouseProfiledata::GetSystemStages() {
    const Json::Value& s = MemberOf(m_entry, "SystemStages");
    const Json::Value& r = MemberOf(m_entry, "ReportStages");
    m_systemWords = {pair(FieldU16(s, "DoubleClickTime"), FieldU16(s, "MouseSpeed")),
                     pair(FieldU16(s, "PointerPrecision"), FieldU16(s, "ScorllPage")),
                     pair(FieldU16(s, "WheelScorlllinse"), FieldU16(r, "StageActive"))};
    return m_systemWords;
}

void CMouseProfiledata::SetSystemStages(uint32_t w0, uint32_t w1, uint32_t w2) {
    m_systemWords = {w0, w1, w2};
    Json::Value& s = ObjectMember(m_entry, "SystemStages");
    s["DoubleClickTime"] = static_cast<Json::Int>(w0 & 0xFFFF);
    s["MouseSpeed"] = static_cast<Json::Int>(w0 >> 16);
    s["PointerPrecision"] = static_cast<Json::Int>(w1 & 0xFFFF);
    s["ScorllPage"] = static_cast<Json::Int>(w1 >> 16);
    s["WheelScorlllinse"] = static_cast<Json::Int>(w2 & 0xFFFF);
    ObjectMember(m_entry, "ReportStages")["StageActive"] = static_cast<Json::Int>(w2 >> 16);
}

std::vector<CorrectEntry> CMouseProfiledata::GetCorrectInfo() {
    m_correct.clear();
    const Json::Value& list = MemberOf(m_entry, "CorrectInfo");
    for (Json::ArrayIndex i = 0; list.isArray() && i < list.size(); ++i) {
        const Json::Value& e = list[i];
        m_correct.push_back({FieldI32(e, "CorrectPixThresh"), FieldI32(e, "CorrectMinSq"),
                             FieldI32(e, "CorrectSelect"), FieldString(e, "CorrectName")});
    }
    return m_correct;
}

void CMouseProfiledata::SetCorrectInfo(const std::vector<CorrectEntry>& entries) {
    m_correct = entries;
    Json::Value list(Json::arrayValue);
    for (const CorrectEntry& c : entries) {
        Json::Value e(Json::objectValue);
        e["CorrectPixThresh"] = c.pixThresh;
        e["CorrectMinSq"] = c.minSq;
        e["CorrectSelect"] = c.select;
        e["CorrectName"] = c.name;
        list.append(e);
    }
    ArrayMember(m_entry, "CorrectInfo") = list;
}

} // namespace talyx
