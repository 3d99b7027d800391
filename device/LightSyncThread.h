#pragma once

#include <atomic>
#include <cstdint>

#include "device/LightPacer.h"
#include "device/LightSyncEffect.h"

namespace talyx {

class DevicePageLists;
class Event;
class WorkerThread;

// The worker that drives the lighting of every synchronised device with one effect.
//
// While some device page has its channel open and its synchronised flag set, it steps the
// synchronised effect every LightPacer::PaceForSpeed(speed) ticks of 15.625 ms and writes the colour
// into every light of every synchronised device (keyboards, mice, mouse pads, headsets,
// in that order) through the device's SetLightColour; the devices' own frame timers send
// it. Those devices' light threads idle meanwhile. With no synchronised device it sleeps
// until Wake(): whoever changes a device's synchronised flag, or opens or closes a
// channel, calls it. (A last-resort time-out of kIdleWaitMs bounds the sleep.) A stop
// must wake it too: stop its slot with Wake as the wake function.
//
// The settings are process-wide: the lighting page sets them from the record of the
// device the user synchronised from (user-interface thread); the thread reads a copy on
// every pass.
class LightSyncThread {
public:
    static constexpr int kIdleWaitMs = 60000;

    // The lists must outlive the thread.
    explicit LightSyncThread(DevicePageLists& pages);
    LightSyncThread(const LightSyncThread&) = delete;
    LightSyncThread& operator=(const LightSyncThread&) = delete;

    // Starts Run on the worker slot; false when the slot already runs a thread.
    bool Start(WorkerThread& slot);
    // The thread body; returns when the stop event is set, after writing
    // "同步灯光线程设定退出".
    void Run(Event& stop);

    // Passes so far: one per wake-up (read from any thread).
    uint64_t Passes() const { return m_passes.load(); }
    // Effect steps so far.
    uint64_t Steps() const { return m_steps.load(); }

    // Makes an idle thread look again for synchronised devices (any thread).
    static void Wake();

    // ---- Process-wide settings (any thread). ----
    static void SetSettings(const LightSyncSettings& settings);
    static LightSyncSettings Settings();
    // Takes the values of a lighting record of a device of `family` (DeviceType). The mode
    // picks the effect type (LightSyncEffect::TypeForMode); a mode without a synchronised
    // effect leaves the settings unchanged and gives false.
    static bool SetSettingsFromRecord(int family, int mode, int brightnessLevel, int speedIndex, int direction,
                                      int useColourWheel, uint8_t red, uint8_t green, uint8_t blue);

private:
    // True when any page has its channel open and its synchronised flag set. Also tells
    // the page lists whether a mouse was among them.
    bool anySynchronised();
    void writeColour(const LightColour& colour);

    DevicePageLists& m_pages;
    LightSyncEffect m_effect;
    LightPacer m_pacer;
    std::atomic<uint64_t> m_passes{0};
    std::atomic<uint64_t> m_steps{0};
};

} // namespace talyx
