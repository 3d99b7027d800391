#include "device/LightSyncThread.h"

#include <algorithm>
#include <mutex>

#include "device/CKestravaUSBDevice.h"
#include "device/DevicePageLists.h"
#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/Event.h"
#include "platform/WorkerThread.h"

namespace talyx {

namespace {

std::mutex& settingsLock() {
    static std::mutex lock;
    return lock;
}

LightSyncSettings& settingsStore() {
    static LightSyncSettings settings;
    return settings;
}

bool openAndSynchronised(CKestravaUSBDevice* page) {
    return page->Channel().IsOpen() && page->Channel().IsSynchronised();
}

// The order in which the colour is written, and in which the families are searched.
constexpr int kFamilyOrder[] = {DeviceTypeKeyboard, DeviceTypeMouse, DeviceTypeMousePad, DeviceTypeHeadset};

// One for the process: the pages that change a synchronised flag do not know the thread.
Event& wakeEvent() {
    static Event event(false);
    return event;
}

} // namespace

LightSyncThread::LightSyncThread(DevicePageLists& pages) : m_pages(pages) {}

void LightSyncThread::Wake() {
    wakeEvent().set();
}

bool LightSyncThread::Start(WorkerThread& slot) {
    return slot.start([this](Event& stop) { Run(stop); });
}

void LightSyncThread::SetSettings(const LightSyncSettings& settings) {
    std::lock_guard<std::mutex> lock(settingsLock());
    settingsStore() = settings;
}

LightSyncSettings LightSyncThread::Settings() {
    std::lock_guard<std::mutex> lock(settingsLock());
    return settingsStore();
}

bool LightSyncThread::SetSettingsFromRecord(int family, int mode, int brightnessLevel, int speedIndex, int direction,
                                            int useColourWheel, uint8_t red, uint8_t green, uint8_t blue) {
    const int type = LightSyncEffect::TypeForMode(family, mode);
    if (type < 0)
        return false;
    LightSyncSettings s;
    s.type = type;
    s.brightnessLevel = std::clamp(brightnessLevel, 0, kBrightnessLevels - 1);
    s.speedIndex = std::clamp(speedIndex, 0, kBrightnessLevels - 1);
    s.direction = direction != 0;
    s.useColourWheel = useColourWheel != 0;
    s.colour = LightRgb{red, green, blue};
    SetSettings(s);
    return true;
}

bool LightSyncThread::anySynchronised() {
    const auto mice = m_pages.Pages(DeviceTypeMouse);
    const bool mouse = std::any_of(mice.begin(), mice.end(), openAndSynchronised);
    m_pages.SetSynchronisedMouseFound(mouse);
    if (mouse)
        return true;
    // Any synchronised device counts, not only a mouse or a headset: a keyboard
    // synchronised with a mouse pad idles its own light thread and relies on this one.
    for (int family : kFamilyOrder) {
        const auto pages = m_pages.Pages(family);
        if (std::any_of(pages.begin(), pages.end(), openAndSynchronised))
            return true;
    }
    return false;
}

void LightSyncThread::writeColour(const LightColour& colour) {
    for (int family : kFamilyOrder) {
        for (CKestravaUSBDevice* page : m_pages.Pages(family)) {
            if (!page->Channel().IsSynchronised())
                continue;
            const int lights = page->LightCount();
            for (int n = 0; n < lights; ++n)
                page->SetLightColour(n, colour);
        }
    }
}

void LightSyncThread::Run(Event& stop) {
    bool counting = false;
    while (!stop.isSet()) {
        m_passes.fetch_add(1);
        if (!anySynchronised()) {
            counting = false;
            wakeEvent().wait(kIdleWaitMs);
            if (stop.isSet())
                break;
            continue;
        }
        const uint64_t now = GetTickCount();
        if (!counting) {
            m_pacer.Restart(now);
            counting = true;
        }
        const LightSyncSettings settings = Settings();
        const int pace = LightPacer::PaceForSpeed(settings.speedIndex);
        const int steps = m_pacer.StepsDue(now, pace);
        for (int i = 0; i < steps; ++i) {
            LightColour colour;
            if (!m_effect.Step(settings, now, colour))
                break;
            writeColour(colour);
            m_steps.fetch_add(1);
        }
        if (stop.wait(m_pacer.MsUntilNextStep(now, pace)))
            break;
    }
    DebugOutput("同步灯光线程设定退出");
}

} // namespace talyx
