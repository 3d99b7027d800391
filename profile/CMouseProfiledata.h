#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "profile/CBasicProfiledata.h"

namespace talyx {

// The mouse's profile document: the base members plus DPI stages, pointer settings,
// the report-rate choice and the sensor-correction list.
//
// Settings words, as the mouse code packs them:
//   word 0 = DoubleClickTime (low half)  | MouseSpeed (high half)
//   word 1 = PointerPrecision (low half) | ScorllPage (high half)
//   word 2 = WheelScorlllinse (low half) | "ReportStages"."StageActive" (high half)
// (the misspelt keys are the stored ones).
class CMouseProfiledata : public CBasicProfiledata {
public:
    // "DPIStages". Stages read from the document overwrite the cached stages by index
    // and stages beyond the cached count are appended; when the document has no
    // "DPIStages" the cached stages are kept as they are.
    std::vector<DpiStage> GetDpiStages();
    int GetActiveDpiStage() const { return m_activeDpiStage; }
    void SetDpiStages(int activeStage, const std::vector<DpiStage>& stages);
    const std::vector<DpiStage>& CachedDpiStages() const { return m_dpiStages; }

    std::array<uint32_t, 3> GetSystemStages();
    void SetSystemStages(uint32_t w0, uint32_t w1, uint32_t w2);

    // "CorrectInfo".
    std::vector<CorrectEntry> GetCorrectInfo();
    void SetCorrectInfo(const std::vector<CorrectEntry>& entries);

private:
    std::vector<DpiStage> m_dpiStages;
    int m_activeDpiStage = 0;
    std::vector<CorrectEntry> m_correct;
};

} // namespace talyx
