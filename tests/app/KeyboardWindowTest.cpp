// The keyboard end to end through the real window: a prepared profile reaches the virtual
// keyboard, frames stream, and the profile bar works by its controls' names.
#include <QDir>
#include <QFile>
#include <QTest>
#include <gtest/gtest.h>

#include "app/CDevicePageUI.h"
#include "app/KeyboardPage.h"
#include "keyboard/CKestravaKeyboardDevice.h"
#include "platform/JsonFile.h"
#include "platform/Paths.h"
#include "profile/ProfileFiles.h"
#include "tests/app/DeviceWindowFixture.h"
#include "tests/support/PreparedProfiles.h"
#include "ui/CComboUI.h"
#include "ui/CMsgWnd.h"
#include "ui/FileDialog.h"
#include "ui/WindowMessages.h"
#include "vdev/VdevFraming.h"

using namespace talyx;
using talyx::test::waitUntil;

namespace {

constexpr const char* kUuid = "2026_01_02_03_04_05_006";

std::vector<uint8_t> bytes(const Json::Value& hex) {
    std::vector<uint8_t> out;
    vdev::FromHex(hex.asString(), out);
    return out;
}

std::string hex(const std::vector<uint8_t>& data, size_t from, size_t n) {
    std::string out;
    char b[4];
    for (size_t i = from; i < from + n && i < data.size(); ++i) {
        std::snprintf(b, sizeof b, "%02x", data[i]);
        out += b;
    }
    return out;
}

class KeyboardWindow : public talyx::test::DeviceWindowFixture {
protected:
    // The keyboard's folder holds one profile with a remapped key, two macros bound to keys,
    // and a lighting mode.
    void prepareProfile(int mode) {
        const std::string folder = FamilyDataDir("keyboard");
        test::WriteMacroLibrary(folder,
                                {{"Copy", "m1", {test::MacroEvent("down", 1, 0x04, "50"), test::MacroEvent("up", 1, 0x04, "50")}},
                                 {"Click", "m2", {test::MacroEvent("down", 2, 0x01, "10")}}});
        Json::Value entry = readjsonFile(DefaultDocumentPath("keyboard"))["Device"][0];
        ASSERT_TRUE(entry.isObject());
        entry["KeyList"][64]["Assignment"] = 0x200005; // A types B
        entry["KeyList"][65]["Assignment"] = 0x700100; // S plays "Click"
        entry["KeyList"][66]["Assignment"] = 0x710003; // D repeats "Copy" three times
        Json::Value& light = entry["LightInfo"];
        light["SelectItem"] = mode;
        light["Light"] = 3;
        light["Speed"] = 2;
        light["MultiColor"] = 0;
        light["Red"] = 10;
        light["Green"] = 200;
        light["Blue"] = 30;
        test::WriteProfile(folder, kUuid, "Prepared", entry, true);
    }

    CDevicePageUI* startedKeyboard() {
        CDevicePageUI* page = nullptr;
        waitUntil([&] {
            auto pages = wnd->Pages(DeviceTypeKeyboard);
            page = pages.empty() ? nullptr : pages.front();
            return page && page->IsStarted();
        });
        return page;
    }

    Json::Value firmware() { return vdev.state()[0]["firmware"]; }
};

} // namespace

TEST_F(KeyboardWindow, APreparedProfileReachesTheKeyboardAndItsFramesStream) {
    prepareProfile(6); // static
    ASSERT_TRUE(plug({"keyboard"})) << vdev.lastError();
    openWindow();
    ASSERT_NE(startedKeyboard(), nullptr);
    ASSERT_TRUE(waitUntil([&] { return firmware()["frame"]["count"].asUInt64() > 20; }));
    const Json::Value fw = firmware();

    // The assignment block: A's device key carries B; a key no slot reaches keeps its own.
    const std::vector<uint8_t> factory = bytes(fw["factoryCodes"]);
    const std::vector<uint8_t> assigned = bytes(fw["assignments"]);
    ASSERT_EQ(factory.size(), assigned.size());
    int keyA = -1;
    for (size_t k = 0; k + 2 < factory.size(); k += 3)
        if (factory[k] == 0x20 && factory[k + 1] == 0 && factory[k + 2] == 0x04)
            keyA = static_cast<int>(k / 3);
    ASSERT_GE(keyA, 0);
    EXPECT_EQ(hex(assigned, 3 * keyA, 3), "200005");

    // The macro image: both macros, "Click" first (its key comes first), sizes as laid out.
    const std::vector<uint8_t> image = bytes(fw["macroImage"]);
    ASSERT_GE(image.size(), 16u);
    EXPECT_EQ(hex(image, 0, 2), "aa55");
    EXPECT_EQ(image[4], 2) << "two macros";
    const size_t total = 16 + 2 * 2 + 4 * 2 + 4 * 3;
    EXPECT_EQ(image[2] | image[3] << 8, total);
    EXPECT_EQ(hex(image, 16 + 4 + 4, 4), "0a008201") << "Click: 10 ms, type 2 down, button 1";

    // The light and settings record: mode 6 at brightness 3, speed 2 sent as 4 - 2.
    const std::vector<uint8_t> record = bytes(fw["records"]);
    ASSERT_GE(record.size(), 9u);
    EXPECT_EQ(record[1], 6);
    EXPECT_EQ(record[2], 3);
    EXPECT_EQ(record[3], 2);
    EXPECT_EQ(hex(record, 6, 3), "0ac81e");

    // Frames: the static colour at brightness 195, every key with a light; about every 10 ms.
    const std::vector<uint8_t> frame = bytes(fw["frame"]["last"]);
    ASSERT_EQ(frame.size(), 384u);
    const std::vector<uint8_t> leds = bytes(fw["ledPositions"]);
    const int p = leds.at(static_cast<size_t>(keyA));
    EXPECT_EQ(hex(frame, 3 * p, 3), "079816") << "(10, 200, 30) × 195 >> 8";
    const Json::Value times = fw["frame"]["timesUs"];
    ASSERT_GE(times.size(), 10u);
    const double spanMs = (times[times.size() - 1].asDouble() - times[0].asDouble()) / 1000.0;
    const double periodMs = spanMs / (times.size() - 1);
    std::printf("frame period %.1f ms over %u frames\n", periodMs, times.size());
    EXPECT_GT(periodMs, 7.0);
    EXPECT_LT(periodMs, 40.0);
    EXPECT_EQ(fw["frame"]["chunk"].asInt(), 56);
}

TEST_F(KeyboardWindow, ThroughTheReceiverFramesComeEvery50msIn24ByteChunks) {
    prepareProfile(5); // breathing
    ASSERT_TRUE(plug({"keyboard-receiver"})) << vdev.lastError();
    openWindow();
    ASSERT_NE(startedKeyboard(), nullptr);
    ASSERT_TRUE(waitUntil([&] { return firmware()["frame"]["count"].asUInt64() > 8; }, 8000));
    const Json::Value fw = firmware();
    EXPECT_EQ(fw["frame"]["chunk"].asInt(), 24);
    const Json::Value times = fw["frame"]["timesUs"];
    const double periodMs =
        (times[times.size() - 1].asDouble() - times[0].asDouble()) / 1000.0 / (times.size() - 1);
    std::printf("receiver frame period %.1f ms over %u frames\n", periodMs, times.size());
    EXPECT_GT(periodMs, 40.0);
    EXPECT_LT(periodMs, 120.0);
}

TEST_F(KeyboardWindow, TheCustomModeStreamsNoFrame) {
    prepareProfile(20);
    ASSERT_TRUE(plug({"keyboard"})) << vdev.lastError();
    openWindow();
    ASSERT_NE(startedKeyboard(), nullptr);
    QTest::qWait(300);
    EXPECT_EQ(firmware()["frame"]["count"].asUInt64(), 0u);
}

TEST_F(KeyboardWindow, TheProfileBarWorksByItsControls) {
    ASSERT_TRUE(plug({"keyboard"})) << vdev.lastError();
    openWindow();
    CDevicePageUI* page = startedKeyboard();
    ASSERT_NE(page, nullptr);
    KeyboardPage* keyboard = page->Keyboard();
    ASSERT_NE(keyboard, nullptr);
    auto click = [&](const char* name) {
        CControlUI* c = page->FindSubControl(name);
        ASSERT_NE(c, nullptr) << name;
        QTest::mouseClick(c, Qt::LeftButton);
    };
    auto* combo = qobject_cast<CComboUI*>(page->FindSubControl("device_profile_combo"));
    ASSERT_NE(combo, nullptr);
    auto names = [&] { return keyboard->Profiles().Names(); };
    ASSERT_EQ(names(), std::vector<std::string>({"profile1"}));

    click("device_profile_menu_btn");
    EXPECT_TRUE(page->FindSubControl("profile_menu_layout")->IsVisible());

    CMsgWnd::SetNextAnswer(IDOK);
    click("device_profile_new_btn");
    EXPECT_EQ(names(), std::vector<std::string>({"profile1", "profile2"}));
    EXPECT_EQ(combo->GetCount(), 2);
    EXPECT_EQ(combo->GetText(), "profile2");

    CMsgWnd::SetNextAnswer(IDCANCEL);
    click("device_profile_copy_btn");
    EXPECT_EQ(names().size(), 2u) << "declined";
    CMsgWnd::SetNextAnswer(IDOK);
    click("device_profile_copy_btn");
    EXPECT_EQ(names().back(), "profile2 copy");

    page->FindSubControl("device_profile_name_edit")->SetText("Game");
    click("device_profile_rename_btn");
    EXPECT_EQ(names()[1], "Game");
    EXPECT_EQ(combo->GetItemAt(1)->GetText(), "Game");

    const std::string exported = data.path() + "/Game.json";
    FileDialog::SetNextFileName(QString::fromStdString(exported));
    click("device_profile_export_btn");
    EXPECT_EQ(readjsonFile(exported)["profilename"].asString(), "Game");
    FileDialog::SetNextFileName(QString::fromStdString(exported));
    click("device_profile_import_btn");
    EXPECT_EQ(names().back(), "Game(1)");
    EXPECT_EQ(combo->GetCount(), 4);

    CMsgWnd::SetNextAnswer(IDOK);
    click("device_profile_delete_btn");
    EXPECT_EQ(names(), std::vector<std::string>({"profile1", "profile2 copy", "Game(1)"}));
    EXPECT_EQ(combo->GetCount(), 3);

    // Picking another profile applies it to the keyboard.
    const std::string before = page->Device() ? static_cast<CKestravaKeyboardDevice*>(page->Device())->CurrentProfileUuid() : "";
    combo->SelectItem(2);
    EXPECT_NE(static_cast<CKestravaKeyboardDevice*>(page->Device())->CurrentProfileUuid(), before);
    EXPECT_EQ(keyboard->Profiles().Selected(), 2);
}
