#pragma once

#include <QHash>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "editors/LightModeTables.h"
#include "profile/ProfileRecords.h"
#include "ui/CContainerUI.h"
#include "ui/UIDefs.h"

namespace talyx {

// The lighting page of a device page ("LightControlItem"): the mode list, brightness,
// speed, direction, seven-colour cycling, the palette, the swatches, the colour fields,
// the keyboard's zone pattern and custom rows, and the synchronise button. It shows a
// lighting record and turns each user action into a changed record for its device.
//
// The device calls, in order: SetLightType, Init, then SetLightInfo whenever a profile
// was loaded. Every control is looked up by name once and may be missing: operations skip
// it and getters give their defaults.
class CLightControlUI : public CHorizontalLayoutUI {
    Q_OBJECT
public:
    // What the page needs of its device. `change` stores the record in the device and its
    // profile (saved), refreshes the device's lighting and sends it; the others may be
    // empty where the device has no such thing.
    struct Device {
        std::function<LightInfo()> current;
        std::function<void(const LightInfo&)> change;
        std::function<void(bool)> setSynchronised;
        std::function<void()> synchronise;           // "deng_same_mode"
        std::function<void(int)> selectCustomGroup;  // keyboard
        std::function<void(bool)> fillCustomColours; // keyboard: all lit / all off
        std::function<bool(uint32_t&)> pickColour;   // the colour picker; true on OK
        // The sound-driven lighting (keyboard): the stored record, its change (stored in
        // the device and its profile, saved, given to the lighting), the style window.
        std::function<AudioLightInfo()> currentAudio;
        std::function<void(const AudioLightInfo&)> changeAudio;
        std::function<void()> openAudioStyles;
    };

    explicit CLightControlUI(QWidget* parent = nullptr);
    QString GetClass() const override { return QStringLiteral("LightControlUI"); }

    void SetDevice(Device device) { m_device = std::move(device); }
    bool HasDevice() const { return static_cast<bool>(m_device.current); }

    void SetLightType(int type) { m_lightType = type; }
    int GetLightType() const { return m_lightType; }
    // Re-applies the table of the mode shown.
    void SetSyncAvailable(bool available);
    bool IsSyncAvailable() const { return m_syncAvailable; }

    // Fills the mode list: one row per name (a language key), hidden rows kept so that a
    // row's index is always its mode; then the sliders' maxima.
    void Init(const std::vector<std::string>& names, const std::vector<int>& visible, int brightnessMax, int speedMax);
    // Shows a record given as the page's three words (least significant byte first):
    // mode, brightness, speed, direction; seven-colour, red, green, blue; three unused
    // bytes, then the zone pattern. Raises no notification.
    void SetLightInfo(uint32_t word1, uint32_t word2, uint32_t word3);
    void ShowLightInfo(const LightInfo& light);
    // Enables, disables, shows and hides the groups as the table of the light type says.
    void ApplyModeTable(int mode);

    // Getters; their defaults stand for a missing control.
    int GetModeIndex() const;                 // -1
    int GetBrightness() const;                // 0
    int GetSpeed() const;                     // 0
    uint32_t GetPaletteColor() const;         // 0xFF000000
    int GetSevenColour() const;               // 0
    QString GetEditText(QChar channel) const; // empty
    int GetZoneIndex() const;                 // -1
    int GetCustomGroupIndex() const;          // -1
    uint32_t GetSwatchColor(int n) const;     // 0
    bool GetDirectionFirst() const;

    // The audio colours page. Shows the record given as two words (least significant byte
    // first: audio mode, background red, green, blue; foreground red, green, blue,
    // seven-colour) and the colour-type flag (1: the foreground is edited); raises no
    // notification. Audio mode 3 follows the sound on its own colours: both colour groups
    // are disabled then.
    void SetAudioLightInfo(uint32_t word1, uint32_t word2, uint8_t colourType);
    void ShowAudioLightInfo(const AudioLightInfo& audio);
    // The record as the page shows it: the stored one with the audio mode, seven-colour
    // flag and colour-type flag of the controls; with storeColour, the colour of
    // "deng_audiocolordp_btn" as the colour being edited.
    AudioLightInfo GetAudioLightInfo(bool storeColour) const;
    uint32_t GetAudioSwatchColor(int n) const;     // 0
    uint32_t GetAudioPaletteColor() const;         // 0xFF000000
    QString GetAudioEditText(QChar channel) const; // empty
    // A notification of one of the page's controls: true when it was one.
    bool HandleNotify(TNotifyUI& msg);

protected:
    void DoInit() override;

private:
    CControlUI* find(const char* name) const;
    void setEnabled(const char* name, GroupState state);
    void setVisible(const char* name, bool visible);
    void applyReset();
    void applyRow(const LightModeRow& row);
    void setDirectionTexts(DirectionTexts texts);
    void showDirection(bool first);
    void showColour(uint32_t argb, bool movePalette);
    // The handlers' common end: the flag, then the record to the device.
    void commit(const LightInfo& light, bool clearSynchronised);
    void onColour(uint32_t argb, bool fromSwatch);
    void onEdit(CControlUI* edit);
    void scopeOptionGroups();
    bool handleAudio(const QString& name, const QString& type, CControlUI* sender);
    void showAudioColour(uint32_t argb, bool movePalette);
    void applyAudioMode(int audioMode);
    // The edited colour (background or foreground) of the record becomes argb.
    void commitAudioColour(uint32_t argb, bool movePalette);
    void commitAudio(const AudioLightInfo& audio);
    void nameForAccessibility();

    Device m_device;
    AudioLightInfo m_audio;
    int m_lightType = 0;
    bool m_syncAvailable = false;
    int m_shownMode = -1;
    bool m_showing = false;
    mutable QHash<QString, QPointer<CControlUI>> m_controls;
};

} // namespace talyx
