#include "profile/CKeyboardProfiledata.h"

#include "profile/JsonFields.h"

namespace talyx {
namespace {

uint32_t pair(uint16_t low, uint16_t high) { return uint32_t(low) | (uint32_t(high) << 16); }

} // namespace

std::array<uint32_t, 3> CKeyboardProfiledata::GetSystemStages() {
    const Json::Value& s = MemberOf(m_entry, "SystemStages");
    m_systemWords = {pair(FieldU16(s, "Repeat"), FieldU16(s, "RepeatDelay")),
                     pair(FieldU16(s, "Key6Flag"), FieldU16(s, "PollingRate")),
                     pair(FieldU16(s, "WFlag"), FieldU16(s, "WinFlag"))};
    return m_systemWords;
}

void CKeyboardProfiledata::SetSystemStages(uint32_t w0, uint32_t w1, uint32_t w2) {
    m_systemWords = {w0, w1, w2};
    Json::Value& s = ObjectMember(m_entry, "SystemStages");
    s["Repeat"] = static_cast<Json::Int>(w0 & 0xFFFF);
    s["RepeatDelay"] = static_cast<Json::Int>(w0 >> 16);
    s["Key6Flag"] = static_cast<Json::Int>(w1 & 0xFFFF);
    s["PollingRate"] = static_cast<Json::Int>(w1 >> 16);
    s["WFlag"] = static_cast<Json::Int>(w2 & 0xFFFF);
    s["WinFlag"] = static_cast<Json::Int>(w2 >> 16);
}

} // namespace talyx
