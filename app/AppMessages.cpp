#include "app/AppMessages.h"

#include "platform/MessageRegistry.h"
#include "platform/Product.h"

namespace talyx {

uint32_t WM_APP_INSTANCE = 0;
uint32_t WM_APP_UPDATE_STATE = 0;
uint32_t WM_APP_LIGHT_CLAIM = 0;
uint32_t WM_APP_LIGHT_CONTROL = 0;
uint32_t WM_APP_WORKTOOL_QUERY = 0;
uint32_t WM_APP_AUDIO_RECORDER = 0;

uint32_t RegisterInstanceMessage() {
    WM_APP_INSTANCE = RegisterWindowMessage(kProductTitle);
    return WM_APP_INSTANCE;
}

void RegisterAppMessages() {
    WM_APP_UPDATE_STATE = RegisterWindowMessage(kUpdateStateGuid);
    WM_APP_LIGHT_CLAIM = RegisterWindowMessage(kLightClaimGuid);
    WM_APP_LIGHT_CONTROL = RegisterWindowMessage(kLightControlGuid);
    WM_APP_WORKTOOL_QUERY = RegisterWindowMessage(kWorkToolQueryGuid);
    WM_APP_AUDIO_RECORDER = RegisterWindowMessage(kAudioRecorderGuid);
}

} // namespace talyx
