// The colour picker and its palette file: the file is created from the shipped default,
// colours survive the signed text form exactly, damaged and hostile files give defaults
// without losing the user's file, and the window's swatches and fields behave.
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "editors/CColorSelectWnd.h"
#include "editors/ColorPaletteFile.h"
#include "platform/Debug.h"
#include "platform/JsonFile.h"
#include "platform/Paths.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/TestSupport.h"
#include "ui/CColorPaletteUI.h"
#include "ui/COptionUI.h"
#include "ui/CPaintManagerUI.h"
#include "ui/CResourceManager.h"
#include "ui/UIDefs.h"
#include "ui/WindowMessages.h"

using namespace talyx;

namespace {

class ColourPaletteTest : public ::testing::Test {
protected:
    std::string user() const { return dir.path() + "/color_option_info.config"; }
    std::string shipped() const {
        return test::buildDataDir().toStdString() + "/DefaultData/" + ColourPaletteFile::kFileName;
    }
    void writeUser(const std::string& text) {
        QFile f(QString::fromStdString(user()));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.data(), static_cast<qint64>(text.size()));
    }
    int filesAside() const {
        return static_cast<int>(
            QDir(QString::fromStdString(dir.path())).entryList({QStringLiteral("*.corrupt")}, QDir::Files).size());
    }
    test::ScratchDir dir;
};

} // namespace

TEST_F(ColourPaletteTest, AMissingFileIsMadeFromTheShippedOneAndColoursComeBackExactly) {
    ColourPaletteFile file(user(), shipped());
    const ColourPalette loaded = file.Load();
    const ColourPalette expected = ColourPalette::FromJson(readjsonFile(shipped()), ColourPalette());
    EXPECT_EQ(loaded.presets, expected.presets);
    EXPECT_EQ(loaded.presetSelected, 4);
    EXPECT_EQ(loaded.collectedSelected, -1);
    ASSERT_TRUE(FileExists(user())) << "written to the user's place";
    EXPECT_EQ(ColourPaletteFile(user(), "/nonexistent").Load().presets, expected.presets);

    // Opaque red is the signed text "-65536" and reads back as the same 32 bits; so do
    // the ends of both ranges.
    ColourPalette p = loaded;
    p.presets[0] = 0xFFFF0000u;
    p.presets[1] = 0x00000000u;
    p.presets[2] = 0xFFFFFFFFu;
    p.collected[3] = 0x80123456u;
    p.filled[3] = true;
    p.collectedSelected = 3;
    ASSERT_TRUE(file.Save(p));
    const Json::Value doc = readjsonFile(user());
    EXPECT_EQ(doc["coloroptioninfo"]["palletDialogcoloroption"][0]["color"].asString(), "-65536");
    EXPECT_EQ(doc["coloroptioninfo"]["palletDialogcoloroption"][2]["color"].asString(), "-1");
    EXPECT_EQ(doc["coloroptioninfo"]["palletDialogcollectcoloroption"][3]["UserData"].asString(), "1");
    const ColourPalette back = file.Load();
    EXPECT_EQ(back.presets, p.presets);
    EXPECT_EQ(back.collected[3], 0x80123456u);
    EXPECT_TRUE(back.filled[3]);
    EXPECT_FALSE(back.filled[4]);
    EXPECT_EQ(back.collectedSelected, 3);

    uint32_t argb = 0;
    EXPECT_TRUE(ColourFromText("4294967295", argb));
    EXPECT_EQ(argb, 0xFFFFFFFFu) << "an unsigned form is read too";
    for (const char* bad : {"", "abc", "12abc", "-2147483649", "4294967296", "99999999999999999999", " 1"})
        EXPECT_FALSE(ColourFromText(bad, argb)) << bad;
}

TEST_F(ColourPaletteTest, DamagedAndHostileFilesGiveDefaultsAndTheUsersFileIsKept) {
    const ColourPalette shippedPalette = ColourPalette::FromJson(readjsonFile(shipped()), ColourPalette::BuiltIn());
    ColourPaletteFile file(user(), shipped());

    // Not JSON: kept aside, the shipped palette instead.
    writeUser("{\"coloroptioninfo\": [garbage");
    EXPECT_EQ(file.Load().presets, shippedPalette.presets);
    EXPECT_EQ(filesAside(), 1);
    // JSON, but not a palette: kept aside as well.
    writeUser("[1, 2, 3]");
    EXPECT_EQ(file.Load().presets, shippedPalette.presets);
    EXPECT_EQ(filesAside(), 2);

    // A palette with text where numbers go, short arrays and selections out of range:
    // what is good is used, the rest is the default.
    writeUser(R"({"coloroptioninfo": {
        "palletDialogcoloroption": [{"color": "-65536"}, {"color": "red"}, {"color": 7}, "x"],
        "palletDialogcoloroption_selectitem": 99,
        "palletDialogcollectcoloroption": [{"color": "-16711936", "UserData": "1"}, {"color": "5", "UserData": 1}],
        "palletDialogcollectcoloroption_selectitem": "2"}})");
    const ColourPalette p = file.Load();
    EXPECT_EQ(p.presets[0], 0xFFFF0000u);
    EXPECT_EQ(p.presets[1], ColourPalette::BuiltIn().presets[1]);
    EXPECT_EQ(p.presets[2], ColourPalette::BuiltIn().presets[2]);
    EXPECT_EQ(p.presets[19], ColourPalette::BuiltIn().presets[19]);
    EXPECT_EQ(p.presetSelected, 4);
    EXPECT_TRUE(p.filled[0]);
    EXPECT_EQ(p.collected[0], 0xFF00FF00u);
    EXPECT_FALSE(p.filled[1]) << "UserData must be the text \"1\"";
    EXPECT_EQ(p.collectedSelected, -1);
    EXPECT_EQ(filesAside(), 2) << "a readable palette is not moved";

    // Neither file readable: the built-in palette.
    ::unlink(user().c_str());
    EXPECT_EQ(ColourPaletteFile(user(), dir.path() + "/missing").Load().presets, ColourPalette::BuiltIn().presets);

    // Colour fields: leading digits, held to 0..255, no overflow.
    const std::pair<const char*, int> fields[] = {{"300", 255}, {"", 0},     {"x12", 0},
                                                  {"12x", 12},  {"007", 7},  {"99999999999999999999999", 255},
                                                  {"-5", 0},    {"255", 255}};
    for (const auto& [text, value] : fields)
        EXPECT_EQ(ColourComponentFromText(text), value) << text;
}

namespace {

class ColourPicker : public ColourPaletteTest {
protected:
    void SetUp() override {
        CPaintManagerUI::SetInstancePath(test::buildDataDir());
        CPaintManagerUI::SetResourcePath(test::buildDataDir() + "/skin");
        CResourceManager::GetInstance().LoadResource("res.xml");
    }
    std::unique_ptr<CColorSelectWnd> open(uint32_t colour) {
        auto wnd = std::make_unique<CColorSelectWnd>(ColourPaletteFile(user(), shipped()));
        EXPECT_TRUE(wnd->Create(nullptr, "PalletDialog", QRect(0, 0, 800, 572)));
        wnd->SetInitColor(colour);
        wnd->show();
        return wnd;
    }
    static void type(CColorSelectWnd& wnd, const char* edit, const QString& text) {
        CControlUI* e = wnd.FindControl(edit);
        ASSERT_NE(e, nullptr) << edit;
        e->SetText(text);
        e->SendNotify(notify::kKillFocus);
    }
    static void click(CColorSelectWnd& wnd, const QString& name) {
        CControlUI* c = wnd.FindControl(name);
        ASSERT_NE(c, nullptr) << name.toStdString();
        QTest::mouseClick(c, Qt::LeftButton);
    }
};

} // namespace

TEST_F(ColourPicker, FieldsSwatchesAndTheCollectedColours) {
    auto wnd = open(0xFF102030);
    EXPECT_EQ(wnd->FindControl("color_edit_g")->GetText(), "32");
    EXPECT_EQ(wnd->PresetSelected(), 4);

    // "300" is 255; an empty field is 0; the other components stay.
    type(*wnd, "color_edit_r", "300");
    EXPECT_EQ(wnd->FindControl("color_edit_r")->GetText(), "255");
    type(*wnd, "color_edit_g", "");
    EXPECT_EQ(wnd->FindControl("color_edit_g")->GetText(), "0");
    EXPECT_EQ(wnd->GetColor(), 0xFFFF0030u);

    // An empty collected slot changes nothing but is chosen; the next colour fills it.
    click(*wnd, "collect_color_option_2");
    EXPECT_EQ(wnd->GetColor(), 0xFFFF0030u);
    EXPECT_EQ(wnd->CollectedSelected(), 2);
    click(*wnd, "color_option_0");
    EXPECT_EQ(wnd->GetColor(), wnd->FindControl("color_option_0")->GetBkColor());
    EXPECT_EQ(wnd->FindControl("collect_color_option_2")->GetUserData(), "1");
    const ColourPalette saved = ColourPaletteFile(user(), shipped()).Load();
    EXPECT_TRUE(saved.filled[2]);
    EXPECT_EQ(saved.collected[2], wnd->GetColor());
    EXPECT_EQ(saved.presetSelected, 0);
    EXPECT_EQ(saved.collectedSelected, 2);

    // A filled slot gives its colour back and ends the seven-colour preview.
    click(*wnd, "collect_color_option_5");
    click(*wnd, "color_option_7");
    type(*wnd, "color_edit_b", "1");
    click(*wnd, "7color");
    EXPECT_TRUE(wnd->IsSevenColour());
    EXPECT_EQ(wnd->FindControl("color_show_btn")->GetBkImage(), CColorSelectWnd::kSevenColourImage);
    click(*wnd, "collect_color_option_2");
    EXPECT_EQ(wnd->GetColor(), saved.collected[2]);
    EXPECT_FALSE(wnd->IsSevenColour());
    EXPECT_TRUE(wnd->FindControl("color_show_btn")->GetBkImage().isEmpty());

    // A reopened picker shows what was kept.
    wnd.reset();
    wnd = open(0xFF000000);
    EXPECT_EQ(wnd->FindControl("collect_color_option_2")->GetBkColor(), saved.collected[2]);
    EXPECT_EQ(wnd->FindControl("collect_color_option_2")->GetUserData(), "1");
    EXPECT_TRUE(wnd->FindControl("collect_color_option_9")->GetUserData().isEmpty());
    DebugCapture debug;
    wnd->SetDPI(100);
    EXPECT_EQ(wnd->GetDPI(), 96);
    EXPECT_TRUE(debug.contains("SET_WND DPI SET ERROR"));
    wnd->HandleMessage(WM_DPICHANGED, 144, 0);
    EXPECT_EQ(wnd->GetDPI(), 144);
    wnd->HandleMessage(WM_DPICHANGED, 97, 0);
    EXPECT_EQ(wnd->GetDPI(), 96) << "a DPI outside the list";

    // scripts/screenshots: a picker with a few colours of the user's own.
    const QByteArray shots = qgetenv("TALYX_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
        // As the program shows it: its fonts and the English texts.
        for (const QString& font : QDir(test::buildDataDir() + "/Font").entryList(QDir::Files))
            QFontDatabase::addApplicationFont(test::buildDataDir() + "/Font/" + font);
        CResourceManager::GetInstance().LoadLanguage("lan_en.xml");
        wnd.reset();
        wnd = open(0xFF7B5CFF);
        wnd->SetDPI(96);
        for (int i : {3, 6, 8, 12, 15}) {
            click(*wnd, QStringLiteral("collect_color_option_%1").arg(i - 2));
            click(*wnd, QStringLiteral("color_option_%1").arg(i));
        }
        click(*wnd, "collect_color_option_0");
        wnd->SetInitColor(0xFF7B5CFF);
        QTest::qWait(200);
        EXPECT_TRUE(wnd->grab().save(QString::fromLocal8Bit(shots) + "/colour-picker.png"));
    }
}

TEST_F(ColourPicker, PickAnswersTheCallerAndOpensOnlyOne) {
    setenv("XDG_DATA_HOME", dir.path().c_str(), 1);
    uint32_t colour = 0xFF112233;
    bool second = true;
    QTimer::singleShot(100, [&] {
        CColorSelectWnd* open = CColorSelectWnd::Current();
        ASSERT_NE(open, nullptr);
        EXPECT_FALSE(open->FindControl("7color_layout")->IsVisible()) << "callers get no seven-colour option";
        EXPECT_EQ(open->FindControl("color_edit_b")->GetText(), "51");
        uint32_t other = 0;
        second = CColorSelectWnd::Pick(nullptr, other);
        CControlUI* g = open->FindControl("color_edit_g");
        g->SetText("255");
        g->SendNotify(notify::kKillFocus);
        QTest::mouseClick(open->FindControl("okbtn"), Qt::LeftButton);
    });
    EXPECT_TRUE(CColorSelectWnd::Pick(nullptr, colour));
    EXPECT_FALSE(second) << "a second picker is not opened while one is";
    EXPECT_EQ(colour, 0xFF11FF33u);
    EXPECT_TRUE(FileExists(dir.path() + "/TALYX RGB Gaming keyboard/color_option_info.config"));

    QTimer::singleShot(100,
                       [] { QTest::mouseClick(CColorSelectWnd::Current()->FindControl("closebtn"), Qt::LeftButton); });
    EXPECT_FALSE(CColorSelectWnd::Pick(nullptr, colour));
    EXPECT_EQ(colour, 0xFF11FF33u) << "closing keeps the caller's colour";
    unsetenv("XDG_DATA_HOME");
}
