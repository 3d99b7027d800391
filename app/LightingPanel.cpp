#include "app/LightingPanel.h"

#include "ui/CColorPaletteUI.h"
#include "ui/CComboUI.h"
#include "ui/COptionUI.h"
#include "ui/CProgressUI.h"
#include "ui/CResourceManager.h"

namespace talyx {

LightingPanel::LightingPanel(CControlUI* panel, Device device) : m_panel(panel), m_device(std::move(device)) {}

CControlUI* LightingPanel::find(const QString& name) const { return m_panel ? m_panel->FindSubControl(name) : nullptr; }

void LightingPanel::Refresh() {
    if (!m_panel)
        return;
    m_showing = true;
    const LightInfo light = m_device.current();
    if (auto* combo = qobject_cast<CComboUI*>(find(QStringLiteral("light_combo_modeSelect")))) {
        combo->RemoveAll();
        const std::vector<PresetLightMode> presets = m_device.presets();
        for (size_t i = 0; i < presets.size(); ++i) {
            if (!presets[i].visible)
                continue;
            combo->AddItem(CResourceManager::GetInstance().GetText(QString::fromStdString(presets[i].name)), QString::number(i));
            if (i == light.selectItem)
                combo->SelectItem(combo->GetCount() - 1, false, false);
        }
    }
    if (auto* s = qobject_cast<CProgressUI*>(find(QStringLiteral("deng_light_slider"))))
        s->SetValue(light.light);
    if (auto* s = qobject_cast<CProgressUI*>(find(QStringLiteral("deng_speed_slider"))))
        s->SetValue(light.speed);
    if (auto* o = qobject_cast<COptionUI*>(find(light.fx ? QStringLiteral("deng_FXR_check") : QStringLiteral("deng_FXL_check"))))
        o->Selected(true, false);
    if (auto* o = qobject_cast<COptionUI*>(find(QStringLiteral("deng_7color_check"))))
        o->Selected(light.multiColor != 0, false);
    const uint32_t rgb = 0xFF000000u | uint32_t(light.red) << 16 | uint32_t(light.green) << 8 | light.blue;
    if (auto* palette = qobject_cast<CColorPaletteUI*>(find(QStringLiteral("deng_Color_Pallet"))))
        palette->SetSelectColor(rgb);
    const int channels[3] = {light.red, light.green, light.blue};
    const char* edits[3] = {"deng_edit_R", "deng_edit_G", "deng_edit_B"};
    for (int i = 0; i < 3; ++i)
        if (CControlUI* e = find(QString::fromLatin1(edits[i])))
            e->SetText(QString::number(channels[i]));
    m_showing = false;
}

void LightingPanel::apply(const std::function<void(LightInfo&)>& change) {
    LightInfo light = m_device.current();
    change(light);
    m_device.change(light);
}

bool LightingPanel::HandleNotify(TNotifyUI& msg) {
    CControlUI* sender = msg.pSender;
    if (!sender || m_showing || !m_panel)
        return false;
    const QString name = sender->GetName();
    const QString& type = msg.sType;
    if (!name.startsWith(QLatin1String("deng_")) && !name.startsWith(QLatin1String("light_combo")) &&
        !name.startsWith(QLatin1String("color_option_")))
        return false;
    if (name == QLatin1String("light_combo_modeSelect") && type == notify::kItemSelect) {
        auto* combo = qobject_cast<CComboUI*>(sender);
        const int item = combo ? combo->GetCurSel() : -1;
        if (item < 0)
            return true;
        const int preset = combo->GetItemAt(item)->GetUserData().toInt();
        apply([preset](LightInfo& l) { l.selectItem = static_cast<uint8_t>(preset); });
    } else if (name == QLatin1String("deng_light_slider") && type == notify::kValueChanged) {
        const int v = qobject_cast<CProgressUI*>(sender)->GetValue();
        apply([v](LightInfo& l) { l.light = static_cast<uint8_t>(v); });
    } else if (name == QLatin1String("deng_speed_slider") && type == notify::kValueChanged) {
        const int v = qobject_cast<CProgressUI*>(sender)->GetValue();
        apply([v](LightInfo& l) { l.speed = static_cast<uint8_t>(v); });
    } else if ((name == QLatin1String("deng_FXL_check") || name == QLatin1String("deng_FXR_check")) &&
               type == notify::kSelectChanged && qobject_cast<COptionUI*>(sender)->IsSelected()) {
        const bool forward = name == QLatin1String("deng_FXR_check");
        apply([forward](LightInfo& l) { l.fx = forward ? 1 : 0; });
    } else if (name == QLatin1String("deng_7color_check") && type == notify::kSelectChanged) {
        const bool on = qobject_cast<COptionUI*>(sender)->IsSelected();
        apply([on](LightInfo& l) { l.multiColor = on ? 1 : 0; });
    } else if ((name == QLatin1String("deng_Color_Pallet") && type == notify::kColorChanged) ||
               (name.startsWith(QLatin1String("color_option_")) && type == notify::kClick)) {
        const uint32_t c = name == QLatin1String("deng_Color_Pallet")
                               ? qobject_cast<CColorPaletteUI*>(sender)->GetSelectColor()
                               : sender->GetBkColor();
        apply([c](LightInfo& l) {
            l.red = static_cast<uint8_t>(c >> 16);
            l.green = static_cast<uint8_t>(c >> 8);
            l.blue = static_cast<uint8_t>(c);
            l.multiColor = 0;
        });
        Refresh();
    } else if (name.startsWith(QLatin1String("deng_edit_")) &&
               (type == notify::kReturn || type == notify::kKillFocus)) {
        const int v = qBound(0, sender->GetText().toInt(), 255);
        const QChar channel = name.back();
        apply([v, channel](LightInfo& l) {
            (channel == QLatin1Char('R') ? l.red : channel == QLatin1Char('G') ? l.green : l.blue) =
                static_cast<uint8_t>(v);
        });
        Refresh();
    }
    return true;
}

} // namespace talyx
