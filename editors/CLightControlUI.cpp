#include "editors/CLightControlUI.h"

#include "editors/ColorPaletteFile.h"
#include "platform/Debug.h"
#include "ui/CColorPaletteUI.h"
#include "ui/CComboUI.h"
#include "ui/CListUI.h"
#include "ui/COptionUI.h"
#include "ui/CProgressUI.h"
#include "ui/CResourceManager.h"

namespace talyx {
namespace {

constexpr int kModeRowHeight = 30;
constexpr uint32_t kOpaque = 0xFF000000u;

const char* const kModeCombo = "light_combo_modeSelect";
const char* const kBrightnessSlider = "deng_light_slider";
const char* const kSpeedSlider = "deng_speed_slider";
const char* const kFirstDirection = "deng_FXL_check";
const char* const kSecondDirection = "deng_FXR_check";
const char* const kSevenColour = "deng_7color_check";
const char* const kPalette = "deng_Color_Pallet";
const char* const kColourButton = "deng_colordp_btn";
const char* const kZoneCombo = "light_combo_ZZCCmodeSelect";
const char* const kCustomCombo = "light_combo_custommodeSelect";
const char* const kCustomLit = "custom_bright_color_btn";
const char* const kCustomOff = "custom_off_color_btn";
const char* const kSyncButton = "deng_same_mode";
const char* const kSwatchPrefix = "color_option_";
const char* const kEdits[3] = {"deng_edit_R", "deng_edit_G", "deng_edit_B"};
const char* const kAudioCombo = "light_combo_audiomodeSelect";
const char* const kAudioBackground = "audio_BkColor_check";
const char* const kAudioForeground = "audio_FgColor_check";
const char* const kAudioPalette = "deng_audioColor_Pallet";
const char* const kAudioColourButton = "deng_audiocolordp_btn";
const char* const kAudioSevenColour = "deng_7audiocolor_check";
const char* const kAudioApply = "Close_bkColor_btn";
const char* const kAudioStyles = "music_setting_btn";
const char* const kAudioSwatchPrefix = "audiocolor_option_";
const char* const kAudioEdits[3] = {"deng_audioedit_R", "deng_audioedit_G", "deng_audioedit_B"};
const char* const kAudioGroups[2] = {"light_audiocolor_layout", "audiocolorpallet_layout"};
// The audio mode that takes its colours from the sound: no colour to edit.
constexpr int kAudioModeOwnColours = 3;

uint32_t argbOf(uint8_t r, uint8_t g, uint8_t b) {
    return kOpaque | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}

} // namespace

CLightControlUI::CLightControlUI(QWidget* parent) : CHorizontalLayoutUI(parent) {}

void CLightControlUI::DoInit() {
    CHorizontalLayoutUI::DoInit();
    scopeOptionGroups();
    nameForAccessibility();
}

CControlUI* CLightControlUI::find(const char* name) const {
    const QString key = QString::fromLatin1(name);
    auto it = m_controls.find(key);
    if (it != m_controls.end() && it.value())
        return it.value();
    CControlUI* c = FindSubControl(key);
    if (c)
        m_controls.insert(key, c);
    return c;
}

void CLightControlUI::scopeOptionGroups() {
    // The skin gives every page's direction pair the same group name, and a group spans
    // the whole window: choosing a direction on one device's page would deselect, and so
    // change, the pair on every other page. Each page keeps its own group.
    const QString group = QStringLiteral("deng_fx_%1").arg(reinterpret_cast<quintptr>(this), 0, 16);
    for (const char* name : {kFirstDirection, kSecondDirection})
        if (auto* o = qobject_cast<COptionUI*>(find(name)))
            o->SetGroup(group);
    // The same for the pair that picks the edited audio colour.
    const QString audioGroup = QStringLiteral("audio_color_type_%1").arg(reinterpret_cast<quintptr>(this), 0, 16);
    for (const char* name : {kAudioBackground, kAudioForeground})
        if (auto* o = qobject_cast<COptionUI*>(find(name)))
            o->SetGroup(audioGroup);
}

void CLightControlUI::nameForAccessibility() {
    // The toolkit names controls by their text, tip or label; these have neither in reach.
    const std::pair<const char*, const char*> labelled[] = {
        {kBrightnessSlider, "light_brightness"}, {kSpeedSlider, "light_speed"},
        {kModeCombo, "light_effect_title"},      {kPalette, "light_color_title"},
        {"deng_edit_R", "color_label_r"},        {"deng_edit_G", "color_label_g"},
        {"deng_edit_B", "color_label_b"},        {kZoneCombo, "light_zone_pattern"},
        {kCustomCombo, "tip_custom_group"},      {kAudioCombo, "light_audio_mode"},
        {kAudioPalette, "light_color_title"},    {"deng_audioedit_R", "color_label_r"},
        {"deng_audioedit_G", "color_label_g"},   {"deng_audioedit_B", "color_label_b"}};
    for (const auto& [name, key] : labelled)
        if (CControlUI* c = find(name))
            c->setAccessibleName(CResourceManager::GetInstance().GetText(QString::fromLatin1(key)));
}

void CLightControlUI::setEnabled(const char* name, GroupState state) {
    if (state == GroupState::Keep)
        return;
    if (CControlUI* c = find(name))
        c->SetEnabled(state == GroupState::On);
}

void CLightControlUI::setVisible(const char* name, bool visible) {
    if (CControlUI* c = find(name))
        c->SetVisible(visible);
}

void CLightControlUI::SetSyncAvailable(bool available) {
    m_syncAvailable = available;
    if (m_shownMode >= 0)
        ApplyModeTable(m_shownMode);
}

void CLightControlUI::Init(const std::vector<std::string>& names, const std::vector<int>& visible, int brightnessMax,
                           int speedMax) {
    if (auto* combo = qobject_cast<CComboUI*>(find(kModeCombo))) {
        combo->RemoveAll();
        for (size_t i = 0; i < names.size(); ++i) {
            const QString key = QString::fromStdString(names[i]);
            CListLabelElementUI* row = combo->AddItem(QString(), key);
            row->SetFixedHeight(kModeRowHeight);
            row->SetTextId(key);
            const bool shown = i < visible.size() && visible[i] != 0;
            combo->SetItemHidden(static_cast<int>(i), !shown);
        }
        combo->ReloadText();
    }
    if (auto* s = qobject_cast<CProgressUI*>(find(kBrightnessSlider)))
        s->SetMaxValue(brightnessMax);
    if (auto* s = qobject_cast<CProgressUI*>(find(kSpeedSlider)))
        s->SetMaxValue(speedMax);
}

void CLightControlUI::ShowLightInfo(const LightInfo& light) {
    uint32_t w0 = 0;
    uint32_t w1 = 0;
    uint32_t w2 = 0;
    uint16_t half = 0;
    light.toWords(w0, w1, w2, half);
    SetLightInfo(w0, w1, w2);
}

void CLightControlUI::SetLightInfo(uint32_t word1, uint32_t word2, uint32_t word3) {
    const int mode = static_cast<int>(word1 & 0xFF);
    const int brightness = static_cast<int>(word1 >> 8 & 0xFF);
    const int speed = static_cast<int>(word1 >> 16 & 0xFF);
    const bool firstDirection = (word1 >> 24 & 0xFF) != 0;
    const bool seven = (word2 & 0xFF) != 0;
    const uint32_t colour = argbOf(word2 >> 8 & 0xFF, word2 >> 16 & 0xFF, word2 >> 24 & 0xFF);
    const int zone = static_cast<int>(word3 >> 24 & 0xFF);

    m_showing = true;
    // A hidden row is still a mode of the device: it is selected like any other.
    if (auto* combo = qobject_cast<CComboUI*>(find(kModeCombo)))
        combo->SelectItem(mode, false, false);
    ApplyModeTable(mode);
    if (auto* s = qobject_cast<CProgressUI*>(find(kBrightnessSlider)))
        s->SetValue(brightness);
    if (auto* s = qobject_cast<CProgressUI*>(find(kSpeedSlider)))
        s->SetValue(speed);
    showColour(colour, true);
    if (auto* o = qobject_cast<COptionUI*>(find(kSevenColour)))
        o->Selected(seven, false);
    if (auto* combo = qobject_cast<CComboUI*>(find(kZoneCombo)))
        combo->SelectItem(zone, false, false);
    showDirection(firstDirection);
    ApplyModeTable(mode);
    m_showing = false;
}

void CLightControlUI::showDirection(bool first) {
    if (auto* o = qobject_cast<COptionUI*>(find(kFirstDirection)))
        o->Selected(first, false);
    if (auto* o = qobject_cast<COptionUI*>(find(kSecondDirection)))
        o->Selected(!first, false);
}

void CLightControlUI::showColour(uint32_t argb, bool movePalette) {
    argb |= kOpaque;
    const int channels[3] = {int(argb >> 16 & 0xFF), int(argb >> 8 & 0xFF), int(argb & 0xFF)};
    for (int i = 0; i < 3; ++i)
        if (CControlUI* e = find(kEdits[i]))
            e->SetText(QString::number(channels[i]));
    if (movePalette)
        if (auto* palette = qobject_cast<CColorPaletteUI*>(find(kPalette)))
            palette->SetSelectColor(argb);
    if (CControlUI* button = find(kColourButton))
        button->SetBkColor(argb);
}

void CLightControlUI::setDirectionTexts(DirectionTexts texts) {
    const char* first = DirectionTextFirst(texts);
    const char* second = DirectionTextSecond(texts);
    if (!first || !second)
        return;
    if (CControlUI* c = find(kFirstDirection))
        c->SetTextId(QString::fromLatin1(first));
    if (CControlUI* c = find(kSecondDirection))
        c->SetTextId(QString::fromLatin1(second));
}

void CLightControlUI::applyReset() {
    const LightModeReset reset = LightModeResetFor(m_lightType);
    if (!reset.applies)
        return;
    if (reset.touchesDirection) {
        setVisible(kSyncButton, false);
        setEnabled("deng_fx_layout", GroupState::On);
        setVisible("deng_fx_layout", true);
    }
    if (reset.keyboardRows) {
        setVisible("lightcustom_layout", false);
        setVisible("light_combo_ZZCCmodeSelectLayout", false);
        setEnabled("light_color_layout", GroupState::On);
    }
    if (reset.speedShown)
        setVisible("deng_speed_layout", true);
    if (reset.audioRow) {
        setVisible("light_combo_AudiomodeSelectLayout", false);
        if (auto* tab = qobject_cast<CTabLayoutUI*>(find("light_color_tablayout")))
            tab->SelectItem(0);
    }
    setDirectionTexts(reset.texts);
}

void CLightControlUI::applyRow(const LightModeRow& row) {
    setEnabled("lighteffect_layout", GroupState::On);
    setEnabled(kSevenColour, row.sevenColour);
    setEnabled("deng_color_layout", row.colour);
    setEnabled("colorpallet_layout", row.palette);
    setEnabled("deng_light_layout", row.brightness);
    // A mode without a direction or a speed does not show the control at all: a greyed
    // pair of directions with one of them lit reads as a choice that is still there.
    setEnabled("deng_fx_layout", row.direction);
    setEnabled("deng_speed_layout", row.speed);
    if (row.direction != GroupState::Keep)
        setVisible("deng_fx_layout", row.direction == GroupState::On);
    if (row.speed != GroupState::Keep)
        setVisible("deng_speed_layout", row.speed == GroupState::On);
    if (row.colourSideOff)
        setEnabled("light_color_layout", GroupState::Off);
    if (row.speedHidden)
        setVisible("deng_speed_layout", false);
    if (row.zoneSelector)
        setVisible("light_combo_ZZCCmodeSelectLayout", true);
    if (row.customRow)
        setVisible("lightcustom_layout", true);
    if (row.audioSelector) {
        setVisible("light_combo_AudiomodeSelectLayout", true);
        if (auto* tab = qobject_cast<CTabLayoutUI*>(find("light_color_tablayout")))
            tab->SelectItem(1);
    }
    setDirectionTexts(row.texts);
    // The mouse never offers synchronising; tables without a reset leave the button alone.
    if (LightModeResetFor(m_lightType).touchesDirection)
        setVisible(kSyncButton, row.sync && m_syncAvailable && m_lightType != 2);
}

void CLightControlUI::ApplyModeTable(int mode) {
    LightModeRow row;
    if (!LightModeRowFor(m_lightType, mode, row))
        return;
    m_shownMode = mode;
    applyReset();
    applyRow(row);
}

// ---- getters ----

int CLightControlUI::GetModeIndex() const {
    auto* combo = qobject_cast<CComboUI*>(find(kModeCombo));
    return combo ? combo->GetCurSel() : -1;
}

int CLightControlUI::GetBrightness() const {
    auto* s = qobject_cast<CProgressUI*>(find(kBrightnessSlider));
    return s ? s->GetValue() : 0;
}

int CLightControlUI::GetSpeed() const {
    auto* s = qobject_cast<CProgressUI*>(find(kSpeedSlider));
    return s ? s->GetValue() : 0;
}

uint32_t CLightControlUI::GetPaletteColor() const {
    auto* palette = qobject_cast<CColorPaletteUI*>(find(kPalette));
    return palette ? palette->GetSelectColor() : kOpaque;
}

int CLightControlUI::GetSevenColour() const {
    auto* o = qobject_cast<COptionUI*>(find(kSevenColour));
    return o && o->IsSelected() ? 1 : 0;
}

QString CLightControlUI::GetEditText(QChar channel) const {
    const int i = channel == QLatin1Char('R')   ? 0
                  : channel == QLatin1Char('G') ? 1
                  : channel == QLatin1Char('B') ? 2
                                                : -1;
    CControlUI* e = i >= 0 ? find(kEdits[i]) : nullptr;
    return e ? e->GetText() : QString();
}

int CLightControlUI::GetZoneIndex() const {
    auto* combo = qobject_cast<CComboUI*>(find(kZoneCombo));
    return combo ? combo->GetCurSel() : -1;
}

int CLightControlUI::GetCustomGroupIndex() const {
    auto* combo = qobject_cast<CComboUI*>(find(kCustomCombo));
    return combo ? combo->GetCurSel() : -1;
}

uint32_t CLightControlUI::GetSwatchColor(int n) const {
    CControlUI* c = FindSubControl(QString::fromLatin1(kSwatchPrefix) + QString::number(n));
    return c ? c->GetBkColor() : 0;
}

bool CLightControlUI::GetDirectionFirst() const {
    auto* o = qobject_cast<COptionUI*>(find(kFirstDirection));
    return o && o->IsSelected();
}

// ---- handlers ----

void CLightControlUI::commit(const LightInfo& light, bool clearSynchronised) {
    if (clearSynchronised && m_device.setSynchronised)
        m_device.setSynchronised(false);
    if (m_device.change)
        m_device.change(light);
}

void CLightControlUI::onColour(uint32_t argb, bool fromSwatch) {
    LightInfo light = m_device.current();
    light.red = static_cast<uint8_t>(argb >> 16);
    light.green = static_cast<uint8_t>(argb >> 8);
    light.blue = static_cast<uint8_t>(argb);
    light.multiColor = 0;
    m_showing = true;
    showColour(argb, true);
    if (auto* o = qobject_cast<COptionUI*>(find(kSevenColour)))
        o->Selected(false, false);
    m_showing = false;
    // A swatch is a shortcut to a colour: synchronised devices stay in step with it.
    commit(light, !fromSwatch);
}

void CLightControlUI::onEdit(CControlUI* edit) {
    const int value = ColourComponentFromText(edit->GetText().toStdString());
    edit->SetText(QString::number(value));
    LightInfo light = m_device.current();
    const QString name = edit->GetName();
    uint8_t& channel = name == QLatin1String(kEdits[0])   ? light.red
                       : name == QLatin1String(kEdits[1]) ? light.green
                                                          : light.blue;
    channel = static_cast<uint8_t>(value);
    light.multiColor = 0;
    m_showing = true;
    if (auto* o = qobject_cast<COptionUI*>(find(kSevenColour)))
        o->Selected(false, false);
    showColour(argbOf(light.red, light.green, light.blue), true);
    m_showing = false;
    commit(light, true);
}

bool CLightControlUI::HandleNotify(TNotifyUI& msg) {
    CControlUI* sender = msg.pSender;
    if (!sender || !isAncestorOf(sender))
        return false;
    if (m_showing || !HasDevice())
        return true;
    const QString name = sender->GetName();
    const QString& type = msg.sType;
    auto is = [&name](const char* n) { return name == QLatin1String(n); };

    if (handleAudio(name, type, sender)) {
        // The audio colours page took it.
    } else if (is(kModeCombo)) {
        auto* combo = qobject_cast<CComboUI*>(sender);
        const int mode = combo ? combo->GetCurSel() : -1;
        if (type != notify::kItemSelect || mode < 0)
            return true;
        LightInfo light = m_device.current();
        light.selectItem = static_cast<uint8_t>(mode);
        ApplyModeTable(mode);
        commit(light, true);
    } else if (is(kBrightnessSlider) || is(kSpeedSlider)) {
        auto* slider = qobject_cast<CProgressUI*>(sender);
        if (type != notify::kValueChanged || !slider)
            return true;
        LightInfo light = m_device.current();
        (is(kBrightnessSlider) ? light.light : light.speed) = static_cast<uint8_t>(slider->GetValue());
        commit(light, true);
    } else if (is(kFirstDirection) || is(kSecondDirection)) {
        auto* option = qobject_cast<COptionUI*>(sender);
        // The option that lost the selection says nothing: only the chosen one writes.
        if (type != notify::kSelectChanged || !option || !option->IsSelected())
            return true;
        const bool first = is(kFirstDirection);
        LightInfo light = m_device.current();
        light.fx = first ? 1 : 0;
        m_showing = true;
        showDirection(first);
        m_showing = false;
        commit(light, true);
    } else if (is(kSevenColour)) {
        auto* option = qobject_cast<COptionUI*>(sender);
        if (type != notify::kSelectChanged || !option)
            return true;
        LightInfo light = m_device.current();
        light.multiColor = option->IsSelected() ? 1 : 0;
        commit(light, true);
    } else if (is(kPalette)) {
        auto* palette = qobject_cast<CColorPaletteUI*>(sender);
        if (type == notify::kColorChanged && palette)
            onColour(palette->GetSelectColor(), false);
    } else if (name.startsWith(QLatin1String(kSwatchPrefix))) {
        if (type == notify::kClick)
            onColour(sender->GetBkColor(), true);
    } else if (is(kEdits[0]) || is(kEdits[1]) || is(kEdits[2])) {
        // Leaving the field, or Enter in it.
        if (type == notify::kKillFocus || type == notify::kReturn)
            onEdit(sender);
    } else if (is(kZoneCombo)) {
        auto* combo = qobject_cast<CComboUI*>(sender);
        if (type != notify::kItemSelect || !combo || combo->GetCurSel() < 0)
            return true;
        LightInfo light = m_device.current();
        light.zzccLedMode = static_cast<uint8_t>(combo->GetCurSel());
        commit(light, false);
    } else if (is(kCustomCombo)) {
        auto* combo = qobject_cast<CComboUI*>(sender);
        if (type == notify::kItemSelect && combo && combo->GetCurSel() >= 0 && m_device.selectCustomGroup)
            m_device.selectCustomGroup(combo->GetCurSel());
    } else if (is(kCustomLit) || is(kCustomOff)) {
        if (type == notify::kClick && m_device.fillCustomColours)
            m_device.fillCustomColours(is(kCustomLit));
    } else if (is(kSyncButton)) {
        if (type == notify::kClick && m_device.synchronise)
            m_device.synchronise();
    } else if (is(kColourButton)) {
        uint32_t colour = 0;
        if (type == notify::kClick && m_device.pickColour) {
            const LightInfo light = m_device.current();
            colour = argbOf(light.red, light.green, light.blue);
            if (m_device.pickColour(colour))
                onColour(colour, false);
        }
    }
    return true;
}

// ---- the audio colours page ----

void CLightControlUI::SetAudioLightInfo(uint32_t word1, uint32_t word2, uint8_t colourType) {
    ShowAudioLightInfo(AudioLightInfo::fromWords(word1, word2, colourType));
}

void CLightControlUI::ShowAudioLightInfo(const AudioLightInfo& audio) {
    m_audio = audio;
    auto* combo = qobject_cast<CComboUI*>(find(kAudioCombo));
    auto* background = qobject_cast<COptionUI*>(find(kAudioBackground));
    auto* foreground = qobject_cast<COptionUI*>(find(kAudioForeground));
    if (!combo || !background || !foreground) {
        DebugOutput(" SetAudioLightInfo control is NULL");
        return;
    }
    m_showing = true;
    combo->SelectItem(audio.audioMode, false, false);
    uint32_t shown = 0;
    if (audio.colorType == 1) {
        shown = argbOf(audio.fgRed, audio.fgGreen, audio.fgBlue);
        background->Selected(false, false);
        foreground->Selected(true, false);
        if (auto* seven = qobject_cast<COptionUI*>(find(kAudioSevenColour)))
            seven->Selected(audio.sevenColor != 0, false);
    } else {
        shown = argbOf(audio.bkRed, audio.bkGreen, audio.bkBlue);
        foreground->Selected(false, false);
        background->Selected(true, false);
    }
    showAudioColour(shown, true);
    applyAudioMode(audio.audioMode);
    m_showing = false;
}

void CLightControlUI::applyAudioMode(int audioMode) {
    const GroupState state = audioMode == kAudioModeOwnColours ? GroupState::Off : GroupState::On;
    for (const char* group : kAudioGroups)
        setEnabled(group, state);
}

void CLightControlUI::showAudioColour(uint32_t argb, bool movePalette) {
    argb |= kOpaque;
    const int channels[3] = {int(argb >> 16 & 0xFF), int(argb >> 8 & 0xFF), int(argb & 0xFF)};
    for (int i = 0; i < 3; ++i)
        if (CControlUI* e = find(kAudioEdits[i]))
            e->SetText(QString::number(channels[i]));
    if (movePalette)
        if (auto* palette = qobject_cast<CColorPaletteUI*>(find(kAudioPalette)))
            palette->SetSelectColor(argb);
    if (CControlUI* button = find(kAudioColourButton))
        button->SetBkColor(argb);
}

AudioLightInfo CLightControlUI::GetAudioLightInfo(bool storeColour) const {
    AudioLightInfo audio = m_audio;
    auto* combo = qobject_cast<CComboUI*>(find(kAudioCombo));
    auto* seven = qobject_cast<COptionUI*>(find(kAudioSevenColour));
    auto* background = qobject_cast<COptionUI*>(find(kAudioBackground));
    auto* foreground = qobject_cast<COptionUI*>(find(kAudioForeground));
    CControlUI* button = find(kAudioColourButton);
    if (!combo || !seven || !background || !foreground || !button) {
        DebugOutput("GetAudioLightInfo control is NULL");
        return audio;
    }
    if (combo->GetCurSel() >= 0)
        audio.audioMode = static_cast<uint8_t>(combo->GetCurSel());
    audio.sevenColor = seven->IsSelected() ? 1 : 0;
    if (foreground->IsSelected())
        audio.colorType = 1;
    else if (background->IsSelected())
        audio.colorType = 0;
    if (storeColour) {
        const uint32_t argb = button->GetBkColor();
        uint8_t* rgb[3] = {&audio.bkRed, &audio.bkGreen, &audio.bkBlue};
        if (audio.colorType == 1) {
            rgb[0] = &audio.fgRed;
            rgb[1] = &audio.fgGreen;
            rgb[2] = &audio.fgBlue;
        }
        *rgb[0] = static_cast<uint8_t>(argb >> 16);
        *rgb[1] = static_cast<uint8_t>(argb >> 8);
        *rgb[2] = static_cast<uint8_t>(argb);
    }
    return audio;
}

uint32_t CLightControlUI::GetAudioSwatchColor(int n) const {
    CControlUI* c = FindSubControl(QString::fromLatin1(kAudioSwatchPrefix) + QString::number(n));
    return c ? c->GetBkColor() : 0;
}

uint32_t CLightControlUI::GetAudioPaletteColor() const {
    auto* palette = qobject_cast<CColorPaletteUI*>(find(kAudioPalette));
    return palette ? palette->GetSelectColor() : kOpaque;
}

QString CLightControlUI::GetAudioEditText(QChar channel) const {
    const int i = channel == QLatin1Char('R')   ? 0
                  : channel == QLatin1Char('G') ? 1
                  : channel == QLatin1Char('B') ? 2
                                                : -1;
    CControlUI* e = i >= 0 ? find(kAudioEdits[i]) : nullptr;
    if (!e) {
        DebugOutput("GetLightAudioColor control is NULL");
        return QString();
    }
    return e->GetText();
}

void CLightControlUI::commitAudio(const AudioLightInfo& audio) {
    m_audio = audio;
    if (m_device.changeAudio)
        m_device.changeAudio(audio);
}

void CLightControlUI::commitAudioColour(uint32_t argb, bool movePalette) {
    m_showing = true;
    showAudioColour(argb, movePalette);
    m_showing = false;
    commitAudio(GetAudioLightInfo(true));
}

bool CLightControlUI::handleAudio(const QString& name, const QString& type, CControlUI* sender) {
    auto is = [&name](const char* n) { return name == QLatin1String(n); };
    if (is(kAudioCombo)) {
        auto* combo = qobject_cast<CComboUI*>(sender);
        if (type == notify::kItemSelect && combo && combo->GetCurSel() >= 0) {
            applyAudioMode(combo->GetCurSel());
            commitAudio(GetAudioLightInfo(true));
        }
    } else if (is(kAudioSevenColour)) {
        if (type == notify::kSelectChanged)
            commitAudio(GetAudioLightInfo(true));
    } else if (is(kAudioBackground) || is(kAudioForeground)) {
        // Only the option that took the selection switches the edited colour; both stored
        // colours stay as they are.
        auto* option = qobject_cast<COptionUI*>(sender);
        if (type != notify::kSelectChanged || !option || !option->IsSelected())
            return true;
        const AudioLightInfo audio = GetAudioLightInfo(false);
        m_showing = true;
        showAudioColour(audio.colorType == 1 ? argbOf(audio.fgRed, audio.fgGreen, audio.fgBlue)
                                             : argbOf(audio.bkRed, audio.bkGreen, audio.bkBlue),
                        true);
        m_showing = false;
        commitAudio(audio);
    } else if (is(kAudioPalette)) {
        auto* palette = qobject_cast<CColorPaletteUI*>(sender);
        if (type == notify::kColorChanged && palette)
            commitAudioColour(palette->GetSelectColor(), false);
    } else if (name.startsWith(QLatin1String(kAudioSwatchPrefix))) {
        if (type == notify::kClick)
            commitAudioColour(sender->GetBkColor(), true);
    } else if (is(kAudioEdits[0]) || is(kAudioEdits[1]) || is(kAudioEdits[2])) {
        if (type != notify::kKillFocus && type != notify::kReturn)
            return true;
        const int value = ColourComponentFromText(sender->GetText().toStdString());
        uint32_t argb = 0;
        if (CControlUI* button = find(kAudioColourButton))
            argb = button->GetBkColor();
        const int shift = is(kAudioEdits[0]) ? 16 : is(kAudioEdits[1]) ? 8 : 0;
        argb = (argb & ~(0xFFu << shift)) | uint32_t(value) << shift;
        commitAudioColour(argb, true);
    } else if (is(kAudioApply)) {
        if (type == notify::kClick)
            commitAudio(GetAudioLightInfo(true));
    } else if (is(kAudioStyles)) {
        if (type == notify::kClick && m_device.openAudioStyles)
            m_device.openAudioStyles();
    } else {
        return false;
    }
    return true;
}

} // namespace talyx
