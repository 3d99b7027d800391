// The lighting page on its own, built from the shipped layout: the tables of the light
// types the window tests do not reach, the packed words, and a page without its controls.
#include <QTest>
#include <gtest/gtest.h>

#include "editors/CLightControlUI.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/SkinTestSupport.h"
#include "ui/CComboUI.h"
#include "ui/CDialogBuilder.h"
#include "ui/COptionUI.h"
#include "ui/CPaintManagerUI.h"
#include "ui/CResourceManager.h"

using namespace talyx;

namespace {

class LightControlPage : public ::testing::Test, public IDialogBuilderCallback {
protected:
    void SetUp() override {
        page.reset(test::buildLightControlPage(this, &pm));
        ASSERT_NE(page, nullptr);
        std::vector<std::string> names;
        for (int i = 0; i < 32; ++i)
            names.push_back("light_mode_" + std::to_string(i));
        page->Init(names, std::vector<int>(32, 1), 4, 4);
    }
    CControlUI* CreateControl(const QString& name) override {
        return name == QLatin1String("LightControl") ? new CLightControlUI : nullptr;
    }
    bool shown(const char* name) const { return page->FindSubControl(name)->IsVisible(); }
    bool enabled(const char* name) const { return page->FindSubControl(name)->IsEnabled(); }

    CPaintManagerUI pm;
    std::unique_ptr<CLightControlUI> page;
};

} // namespace

TEST_F(LightControlPage, TheWordsOfARecordAndTheTablesOfTheOtherTypes) {
    // Mode 3, brightness 2, speed 1, second direction; seven-colour off, (10, 20, 30);
    // zone pattern 3 in the top byte of the third word.
    page->SetLightType(1);
    page->SetLightInfo(0x00010203u, 0x1E140A00u, 0x03000000u);
    EXPECT_EQ(page->GetModeIndex(), 3);
    EXPECT_EQ(page->GetBrightness(), 2);
    EXPECT_EQ(page->GetSpeed(), 1);
    EXPECT_FALSE(page->GetDirectionFirst());
    EXPECT_EQ(page->GetEditText('G'), "20");
    EXPECT_EQ(page->GetPaletteColor() & 0xFFFFFF, 0x0A141Eu);
    EXPECT_EQ(page->FindSubControl("deng_colordp_btn")->GetBkColor(), 0xFF0A141Eu);
    EXPECT_EQ(page->GetZoneIndex(), 3);
    EXPECT_EQ(page->FindSubControl("deng_FXL_check")->GetTextId(), "light_set_clockwise_text");

    // Table 5 has no reset: what another table left stays, and the direction is its own.
    page->SetSyncAvailable(true);
    page->ApplyModeTable(5); // keyboard breathing: sync shown, direction hidden
    ASSERT_TRUE(shown("deng_same_mode"));
    page->SetLightType(5);
    page->ApplyModeTable(1);
    EXPECT_TRUE(shown("deng_same_mode")) << "table 5 leaves the button";
    EXPECT_FALSE(shown("deng_fx_layout")) << "and the direction";
    EXPECT_FALSE(enabled("deng_7color_check"));
    EXPECT_TRUE(enabled("deng_color_layout"));
    EXPECT_FALSE(enabled("deng_speed_layout"));
    page->ApplyModeTable(9);
    EXPECT_FALSE(enabled("deng_light_layout"));

    // Tables 3, 4 and 7 are one; their reset shows the direction and hides the button.
    for (int type : {3, 4, 7}) {
        page->SetLightType(type);
        page->ApplyModeTable(0);
        EXPECT_TRUE(shown("deng_fx_layout")) << type;
        EXPECT_FALSE(shown("deng_same_mode")) << type;
        page->ApplyModeTable(3);
        EXPECT_FALSE(enabled("deng_7color_check")) << type;
        EXPECT_TRUE(enabled("colorpallet_layout")) << type;
        EXPECT_TRUE(shown("deng_same_mode")) << type;
    }
    // The mouse's sound mode: the audio colours page.
    page->SetLightType(2);
    page->ApplyModeTable(11);
    EXPECT_TRUE(shown("light_combo_AudiomodeSelectLayout"));
    EXPECT_EQ(qobject_cast<CTabLayoutUI*>(page->FindSubControl("light_color_tablayout"))->GetCurSel(), 1);
    page->ApplyModeTable(2);
    EXPECT_EQ(qobject_cast<CTabLayoutUI*>(page->FindSubControl("light_color_tablayout"))->GetCurSel(), 0);

    // An unknown table leaves everything as it is.
    const bool before = shown("deng_speed_layout");
    page->SetLightType(9);
    page->ApplyModeTable(6);
    EXPECT_EQ(shown("deng_speed_layout"), before);
}

TEST(LightControlBare, APageWithoutItsControlsGivesTheDefaults) {
    CLightControlUI page;
    page.SetLightType(1);
    page.Init({"a", "b"}, {1, 0}, 4, 4);
    page.SetLightInfo(0x04030201u, 0xFFFFFF01u, 0xFF000000u);
    page.ApplyModeTable(17);
    page.SetSyncAvailable(true);
    EXPECT_EQ(page.GetModeIndex(), -1);
    EXPECT_EQ(page.GetBrightness(), 0);
    EXPECT_EQ(page.GetSpeed(), 0);
    EXPECT_EQ(page.GetPaletteColor(), 0xFF000000u);
    EXPECT_EQ(page.GetSevenColour(), 0);
    EXPECT_TRUE(page.GetEditText('R').isEmpty());
    EXPECT_EQ(page.GetZoneIndex(), -1);
    EXPECT_EQ(page.GetCustomGroupIndex(), -1);
    EXPECT_EQ(page.GetSwatchColor(3), 0u);
}
