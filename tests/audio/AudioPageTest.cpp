// The lighting page's audio colours, built from the shipped layout and driven by the
// notifications its controls raise: the record's words, the edited colour, the palette,
// swatches and fields, and audio mode 3 that has no colours to edit.

#include <QTest>

#include <gtest/gtest.h>

#include "editors/AudioStyleFile.h"
#include "editors/CLightControlUI.h"
#include "editors/MusicWnd.h"
#include "platform/FileIO.h"
#include "platform/JsonFile.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/SkinTestSupport.h"
#include "tests/support/TestSupport.h"
#include "ui/CColorPaletteUI.h"
#include "ui/CComboUI.h"
#include "ui/CDialogBuilder.h"
#include "ui/COptionUI.h"
#include "ui/CPaintManagerUI.h"
#include "ui/CProgressUI.h"
#include "ui/CResourceManager.h"

namespace talyx {
namespace {

class AudioPage : public ::testing::Test, public IDialogBuilderCallback {
protected:
    void SetUp() override {
        page.reset(test::buildLightControlPage(this, &pm));
        ASSERT_NE(page, nullptr);
        page->SetLightType(1);
        CLightControlUI::Device device;
        device.current = [] { return LightInfo{}; };
        device.currentAudio = [this] { return stored; };
        device.changeAudio = [this](const AudioLightInfo& a) {
            stored = a;
            ++changes;
        };
        device.openAudioStyles = [this] { ++styleWindows; };
        page->SetDevice(std::move(device));
    }
    CControlUI* CreateControl(const QString& name) override {
        return name == QLatin1String("LightControl") ? new CLightControlUI : nullptr;
    }
    CControlUI* control(const char* name) const { return page->FindSubControl(QString::fromLatin1(name)); }
    void notify(const char* name, const QString& type) {
        TNotifyUI msg;
        msg.sType = type;
        msg.pSender = control(name);
        ASSERT_NE(msg.pSender, nullptr) << name;
        ASSERT_TRUE(page->HandleNotify(msg));
    }
    void select(const char* option) {
        qobject_cast<COptionUI*>(control(option))->Selected(true, false);
        notify(option, notify::kSelectChanged);
    }

    CPaintManagerUI pm;
    std::unique_ptr<CLightControlUI> page;
    AudioLightInfo stored;
    int changes = 0;
    int styleWindows = 0;
};

TEST_F(AudioPage, TheEditedColourSwitchesAndOnlyItChanges) {
    // Mode 2, background (10, 20, 30), foreground (200, 100, 50), seven-colour on; the
    // background is edited.
    stored = AudioLightInfo::fromWords(0x1E140A02u, 0x013264C8u, 0);
    page->SetAudioLightInfo(0x1E140A02u, 0x013264C8u, 0);
    EXPECT_EQ(qobject_cast<CComboUI*>(control("light_combo_audiomodeSelect"))->GetCurSel(), 2);
    EXPECT_TRUE(qobject_cast<COptionUI*>(control("audio_BkColor_check"))->IsSelected());
    EXPECT_EQ(page->GetAudioEditText('G'), "20");
    EXPECT_EQ(control("deng_audiocolordp_btn")->GetBkColor(), 0xFF0A141Eu);
    EXPECT_EQ(page->GetAudioPaletteColor() & 0xFFFFFF, 0x0A141Eu);
    EXPECT_EQ(changes, 0) << "showing a record raises nothing";

    // To the foreground: its colour is shown, both stored colours stay.
    select("audio_FgColor_check");
    EXPECT_EQ(page->GetAudioEditText('R'), "200");
    EXPECT_EQ(stored.colorType, 1);
    EXPECT_EQ(
        (std::array<int, 6>{stored.bkRed, stored.bkGreen, stored.bkBlue, stored.fgRed, stored.fgGreen, stored.fgBlue}),
        (std::array<int, 6>{10, 20, 30, 200, 100, 50}));
    // A swatch, then a field, change the foreground only.
    const uint32_t swatch = page->GetAudioSwatchColor(3);
    notify("audiocolor_option_3", notify::kClick);
    EXPECT_EQ(stored.fgRed, uint8_t(swatch >> 16));
    EXPECT_EQ(stored.fgGreen, uint8_t(swatch >> 8));
    control("deng_audioedit_B")->SetText("999"); // out of range: clamped
    notify("deng_audioedit_B", notify::kKillFocus);
    EXPECT_EQ(stored.fgBlue, 255);
    EXPECT_EQ(page->GetAudioEditText('B'), "255");
    EXPECT_EQ(stored.bkRed, 10);

    // Back to the background; a palette change while it is edited changes only it.
    select("audio_BkColor_check");
    EXPECT_EQ(page->GetAudioEditText('B'), "30");
    const AudioLightInfo before = stored;
    auto* palette = qobject_cast<CColorPaletteUI*>(control("deng_audioColor_Pallet"));
    palette->SetSelectColor(0xFF405060u);
    notify("deng_audioColor_Pallet", notify::kColorChanged);
    EXPECT_EQ(stored.bkRed, 0x40);
    EXPECT_EQ(stored.bkBlue, 0x60);
    EXPECT_EQ(stored.fgRed, before.fgRed);
    EXPECT_EQ(stored.fgBlue, before.fgBlue);
    // The seven-colour flag and the style button.
    qobject_cast<COptionUI*>(control("deng_7audiocolor_check"))->Selected(false, false);
    notify("deng_7audiocolor_check", notify::kSelectChanged);
    EXPECT_EQ(stored.sevenColor, 0);
    notify("music_setting_btn", notify::kClick);
    EXPECT_EQ(styleWindows, 1);
}

TEST_F(AudioPage, AudioModeThreeDisablesBothColourGroups) {
    page->SetAudioLightInfo(0x00000003u, 0, 0);
    EXPECT_FALSE(control("light_audiocolor_layout")->IsEnabled());
    EXPECT_FALSE(control("audiocolorpallet_layout")->IsEnabled());
    for (int mode : {0, 1, 2, 3, 1}) {
        qobject_cast<CComboUI*>(control("light_combo_audiomodeSelect"))->SelectItem(mode, false, false);
        notify("light_combo_audiomodeSelect", notify::kItemSelect);
        EXPECT_EQ(stored.audioMode, mode);
        EXPECT_EQ(control("light_audiocolor_layout")->IsEnabled(), mode != 3) << mode;
        EXPECT_EQ(control("audiocolorpallet_layout")->IsEnabled(), mode != 3) << mode;
    }
}

TEST(AudioStyles, TheStyleWindowEditsTheFileOnlyOnOkAndTakesADamagedOneClamped) {
    CPaintManagerUI::SetInstancePath(test::buildDataDir());
    CPaintManagerUI::SetResourcePath(test::buildDataDir() + "/skin");
    CResourceManager::GetInstance().LoadResource("res.xml");
    CResourceManager::GetInstance().LoadLanguage("lan_en.xml");
    test::ScratchDir dir;
    const std::string user = dir.file("user/AudioFile.json");
    const std::string program = dir.file("AudioFile.json");
    // The program's copy stands in, out of range as outside files may be; its "Device"
    // part is none of the styles' business.
    ASSERT_TRUE(WriteFileAtomic(program, R"({"Device": [1, 2],
        "AudioLightInfo": {"nAudioStyle": 7, "nStyleName1": "Calm", "nStyleName2": 42,
                           "nStyleR0": 99, "nStyleG0": -4, "nStyleB0": 5.5, "nStyleR1": "x"}})"));
    AudioStyleFile file(user, program);
    AudioStyles loaded = file.Load();
    EXPECT_EQ(loaded.selected, 3);
    EXPECT_EQ(loaded.names[0], "Calm");
    EXPECT_EQ(loaded.names[1], "Style 2") << "a name that is no string keeps the default";
    EXPECT_EQ(loaded.colours[0], (std::array<int, 3>{9, 0, 5}));
    EXPECT_EQ(loaded.colours[1][0], 0) << "a component that is no number keeps the default";

    auto open = [&](MusicWnd& wnd) {
        ASSERT_TRUE(wnd.Create(nullptr, QStringLiteral("MusicWnd"), QRect(0, 0, 369, 276)));
        wnd.ShowWindow(true);
    };
    auto raise = [](MusicWnd& wnd, const char* name, const QString& type) {
        TNotifyUI msg;
        msg.sType = type;
        msg.pSender = wnd.FindControl(QString::fromLatin1(name));
        ASSERT_NE(msg.pSender, nullptr) << name;
        wnd.Notify(msg);
    };
    {
        MusicWnd wnd(file);
        open(wnd);
        EXPECT_EQ(wnd.FindControl("audio_select_tab1")->GetText(), "Calm");
        EXPECT_TRUE(wnd.FindControl("audio_edit_name4")->IsVisible());
        // Tab 1: its colour on the sliders; move green, rename it.
        qobject_cast<COptionUI*>(wnd.FindControl("audio_select_tab1"))->Selected(true, false);
        raise(wnd, "audio_select_tab1", notify::kSelectChanged);
        auto* green = qobject_cast<CProgressUI*>(wnd.FindControl("audio_g_slider"));
        EXPECT_EQ(qobject_cast<CProgressUI*>(wnd.FindControl("audio_r_slider"))->GetValue(), 9);
        green->SetValue(6);
        raise(wnd, "audio_g_slider", notify::kValueChanged);
        wnd.FindControl("audio_edit_name1")->SetText("Night");
        raise(wnd, "audio_edit_name1", notify::kKillFocus);
        EXPECT_EQ(wnd.FindControl("audio_style_preview")->GetBkColor(), 0xFFFFAA8Du);
        // Closed without OK: the user's copy is never written.
        raise(wnd, "cancelbtn", notify::kClick);
        std::string none;
        EXPECT_FALSE(ReadWholeFile(user, none));
        // The same edits again, then OK.
        MusicWnd again(file);
        open(again);
        qobject_cast<COptionUI*>(again.FindControl("audio_select_tab1"))->Selected(true, false);
        raise(again, "audio_select_tab1", notify::kSelectChanged);
        qobject_cast<CProgressUI*>(again.FindControl("audio_g_slider"))->SetValue(6);
        raise(again, "audio_g_slider", notify::kValueChanged);
        again.FindControl("audio_edit_name1")->SetText("Night");
        raise(again, "audio_edit_name1", notify::kKillFocus);
        // scripts/screenshots: the window as the user leaves it.
        if (const QByteArray shots = qgetenv("TALYX_SCREENSHOT_DIR"); !shots.isEmpty()) {
            QTest::qWait(200);
            EXPECT_TRUE(again.grab().save(QString::fromLocal8Bit(shots) + "/music-styles.png"));
        }
        raise(again, "audio_ok_btn", notify::kClick);
    }
    const Json::Value saved = readjsonFile(user);
    EXPECT_EQ(saved["AudioLightInfo"]["nStyleName1"].asString(), "Night");
    EXPECT_EQ(saved["AudioLightInfo"]["nStyleG0"].asInt(), 6);
    EXPECT_EQ(saved["AudioLightInfo"]["nStyleB0"].asInt(), 5);
    EXPECT_EQ(saved["AudioLightInfo"]["nAudioStyle"].asInt(), 0);
    const AudioStyles back = file.Load();
    EXPECT_EQ(back.LightColour(0), (std::array<int, 3>{255, 170, 141}));
}

} // namespace
} // namespace talyx
