#pragma once

#include <cstdint>

namespace talyx {

// The registered messages through which the program talks to companion programs and
// its own threads. Set once at start-up (RegisterAppMessages and
// RegisterInstanceMessage), read by any thread afterwards.
extern uint32_t WM_APP_INSTANCE;
extern uint32_t WM_APP_UPDATE_STATE;
extern uint32_t WM_APP_LIGHT_CLAIM;
extern uint32_t WM_APP_LIGHT_CONTROL;
extern uint32_t WM_APP_WORKTOOL_QUERY;
extern uint32_t WM_APP_AUDIO_RECORDER;

inline constexpr const char* kUpdateStateGuid = "{4695579F-999A-41d4-9FAF-EFFCE93EBF15}";
inline constexpr const char* kLightClaimGuid = "{4695579F-999A-41d4-9FAF-EFFCE93EBF16}";
inline constexpr const char* kLightControlGuid = "{4695579F-999A-41d4-9FAF-EFFCE93EBF17}";
inline constexpr const char* kWorkToolQueryGuid = "{4695579F-999A-41d4-9FAF-EFFCE93EBF18}";
// Ends in EBE19, unlike the pattern of the other four; companions register it so.
inline constexpr const char* kAudioRecorderGuid = "{4695579F-999A-41d4-9FAF-EFFCE93EBE19}";

// Registers the instance message under the product title. Returns its id; an id outside
// 0xC000..0xFFFF means registration failed.
uint32_t RegisterInstanceMessage();
// Registers the five GUID messages in their fixed order.
void RegisterAppMessages();

} // namespace talyx
