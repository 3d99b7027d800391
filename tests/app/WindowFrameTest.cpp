// The frame around the device pages as a user meets it, with a keyboard on the virtual bus
// and a 1920 × 1080 screen: maximise and restore, the status line, the profile bar's
// exchange with files, game mode and the key outlines.
#include <QDir>
#include <QFile>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include "app/CDeviceOptionUI.h"
#include "app/CDevicePageUI.h"
#include "app/KeyboardPage.h"
#include "keyboard/CKestravaKeyboardDevice.h"
#include "platform/FileIO.h"
#include "platform/JsonFile.h"
#include "platform/Paths.h"
#include "tests/app/DeviceWindowFixture.h"
#include "ui/CComboUI.h"
#include "ui/CDeviceKeyButtonUI.h"
#include "ui/CMsgWnd.h"
#include "ui/COptionUI.h"
#include "ui/FileDialog.h"
#include "ui/WindowMessages.h"
#include "vdev/VdevFraming.h"

using namespace talyx;
using talyx::test::waitUntil;

namespace {

const auto* const kBusEnvironment = ::testing::AddGlobalTestEnvironment(new talyx::test::BusEnvironment);

class WindowFrame : public talyx::test::DeviceWindowFixture {
protected:
    CDevicePageUI* startKeyboard() {
        if (!plug({"keyboard"}))
            return nullptr;
        openWindow();
        CDevicePageUI* page = nullptr;
        waitUntil([&] {
            auto pages = wnd->Pages(DeviceTypeKeyboard);
            page = pages.empty() ? nullptr : pages.front();
            return page && page->IsStarted();
        });
        return page && page->IsStarted() ? page : nullptr;
    }
    void click(CControlUI* control) {
        ASSERT_NE(control, nullptr);
        QTest::mouseClick(control, Qt::LeftButton);
    }
    QString status() { return wnd->FindControl("status_text")->GetText(); }
    std::vector<uint8_t> record() {
        std::vector<uint8_t> out;
        vdev::FromHex(vdev.state()[0]["firmware"]["records"].asString(), out);
        return out;
    }
};

} // namespace

TEST_F(WindowFrame, MaximiseGrowsTheWholeLayoutAndRestoreGivesBackSizeAndScale) {
    CDevicePageUI* page = startKeyboard();
    ASSERT_NE(page, nullptr);
    // The fit to the screen (100 ms after start) has placed the window.
    ASSERT_TRUE(waitUntil([&] { return !wnd->HasWindowTimer(1011); }));
    QTest::qWait(50);
    const QRect normal = wnd->geometry();
    const int dpi = wnd->PaintManager().GetDPI();
    CControlUI* space = page->FindSubControl("key_108");
    CControlUI* panel = wnd->FindControl("device_select_panel");
    const int spaceWidth = space->width();
    const int panelWidth = panel->width();
    const QRect area = wnd->screen()->availableGeometry();
    ASSERT_LT(normal.width(), area.width()) << "the screen must leave room to grow";

    click(wnd->FindControl("maxbtn"));
    EXPECT_TRUE(wnd->IsMaximised());
    EXPECT_EQ(wnd->geometry(), area);
    EXPECT_GT(wnd->PaintManager().GetDPI(), dpi);
    EXPECT_GT(space->width(), spaceWidth * 11 / 10) << "the keyboard picture grows with the window";
    EXPECT_GT(panel->width(), panelWidth * 11 / 10);
    EXPECT_EQ(wnd->FindControl("root")->size(), wnd->size());
    EXPECT_FALSE(wnd->FindControl("maxbtn")->IsVisible());
    ASSERT_TRUE(wnd->FindControl("restorebtn")->IsVisible());

    // Coming back from the taskbar or the tray keeps it maximised; the title bar's restore
    // does not.
    wnd->sendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    wnd->sendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_TRUE(wnd->IsMaximised());
    EXPECT_EQ(wnd->geometry(), area);
    wnd->hide();
    wnd->sendMessage(kMsgTray, 0, WM_LBUTTONUP);
    EXPECT_TRUE(wnd->isVisible());
    EXPECT_TRUE(wnd->IsMaximised());
    EXPECT_EQ(wnd->geometry(), area);
    click(wnd->FindControl("restorebtn"));
    EXPECT_FALSE(wnd->IsMaximised());
    EXPECT_EQ(wnd->geometry(), normal);
    EXPECT_EQ(wnd->PaintManager().GetDPI(), dpi);
    EXPECT_EQ(space->width(), spaceWidth);
    EXPECT_EQ(panel->width(), panelWidth);
    EXPECT_TRUE(wnd->FindControl("maxbtn")->IsVisible());
    EXPECT_FALSE(wnd->FindControl("restorebtn")->IsVisible());

    // A double click on the caption does the same.
    QTest::mouseDClick(wnd.get(), Qt::LeftButton, Qt::NoModifier, QPoint(400, 20));
    EXPECT_TRUE(wnd->IsMaximised());
    QTest::mouseDClick(wnd.get(), Qt::LeftButton, Qt::NoModifier, QPoint(400, 20));
    EXPECT_EQ(wnd->geometry(), normal);

    // A window manager that maximises the window itself (a shortcut, a drag to the top) is
    // followed as the button is, minimising and coming back included; so is its restore,
    // and the title bar's restore takes the manager's state away too.
    const auto byManager = [&](Qt::WindowState state) {
        wnd->windowHandle()->setWindowState(state);
        return waitUntil([&] { return wnd->IsMaximised() == (state == Qt::WindowMaximized); });
    };
    for (const char* restore : {"manager", "restorebtn"}) {
        SCOPED_TRACE(restore);
        ASSERT_TRUE(byManager(Qt::WindowMaximized));
        EXPECT_EQ(wnd->geometry(), area);
        EXPECT_GT(wnd->PaintManager().GetDPI(), dpi);
        EXPECT_GT(space->width(), spaceWidth * 11 / 10);
        EXPECT_FALSE(wnd->FindControl("maxbtn")->IsVisible());
        EXPECT_TRUE(wnd->FindControl("restorebtn")->IsVisible());
        wnd->sendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
        wnd->sendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
        EXPECT_TRUE(wnd->IsMaximised());
        EXPECT_EQ(wnd->geometry(), area);
        if (std::string(restore) == "manager")
            ASSERT_TRUE(byManager(Qt::WindowNoState));
        else
            click(wnd->FindControl("restorebtn"));
        EXPECT_FALSE(wnd->IsMaximised());
        EXPECT_FALSE(wnd->windowState() & Qt::WindowMaximized);
        // The manager gives the size back in its own time.
        EXPECT_TRUE(waitUntil([&] { return wnd->geometry() == normal; }));
        EXPECT_EQ(wnd->PaintManager().GetDPI(), dpi);
        EXPECT_EQ(space->width(), spaceWidth);
        EXPECT_TRUE(wnd->FindControl("maxbtn")->IsVisible());
    }
}

TEST_F(WindowFrame, TheProfileBarSaysWhatItDidNamesItsProfileAndRefusesFilesThatAreNoProfile) {
    CDevicePageUI* page = startKeyboard();
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(status().startsWith("Keyboard connected")) << status().toStdString();
    KeyboardPage* keyboard = page->Keyboard();
    auto names = [&] { return keyboard->Profiles().Names(); };
    auto button = [&](const char* name) { return page->FindSubControl(name); };
    const std::string folder = data.path();

    // Export without an extension: ".json" is added, so the import dialog lists the file.
    FileDialog::SetNextFileName(QString::fromStdString(folder + "/Game"));
    click(button("device_profile_export_btn"));
    const std::string exported = folder + "/Game.json";
    ASSERT_TRUE(QFile::exists(QString::fromStdString(exported)));
    EXPECT_EQ(readjsonFile(exported)["profilename"].asString(), "profile1");
    EXPECT_EQ(status().toStdString(), "Profile “profile1” exported to " + exported);
    // A folder that is not there: told, nothing written.
    CMsgWnd::SetNextAnswer(IDOK);
    FileDialog::SetNextFileName(QString::fromStdString(folder + "/nowhere/Game.json"));
    click(button("device_profile_export_btn"));
    EXPECT_EQ(CMsgWnd::LastTextKey(), "message_export_failed");

    // Files that are no profile change nothing and say so.
    const std::pair<const char*, const char*> bad[] = {
        {"text.json", "not json"}, {"array.json", "[1, 2]"}, {"nouuid.json", R"({"profilename": "x"})"}};
    for (const auto& [file, content] : bad) {
        const std::string path = folder + "/" + file;
        ASSERT_TRUE(WriteFileAtomic(path, content));
        CMsgWnd::SetNextAnswer(IDOK);
        FileDialog::SetNextFileName(QString::fromStdString(path));
        click(button("device_profile_import_btn"));
        EXPECT_EQ(names(), std::vector<std::string>({"profile1"})) << file;
        EXPECT_EQ(CMsgWnd::LastTextKey(), "message_import_failed") << file;
        EXPECT_TRUE(CMsgWnd::LastText().contains(QString::fromStdString(path))) << file;
        EXPECT_EQ(wnd->StatusTextId(), "status_import_failed") << file;
    }
    FileDialog::SetNextFileName(QString::fromStdString(exported));
    click(button("device_profile_import_btn"));
    EXPECT_EQ(names(), std::vector<std::string>({"profile1", "Game"}));
    EXPECT_EQ(status().toStdString(), "Profile “Game” imported");

    // Copy and delete ask about the profile they act on, by name.
    CMsgWnd::SetNextAnswer(IDOK);
    click(button("device_profile_copy_btn"));
    EXPECT_EQ(CMsgWnd::LastText().toStdString(), "Copy the profile “profile1”?");
    EXPECT_EQ(status().toStdString(), "“profile1” copied as “profile1 copy”");
    auto* combo = qobject_cast<CComboUI*>(page->FindSubControl("device_profile_combo"));
    combo->SelectItem(1);
    EXPECT_EQ(status().toStdString(), "Profile “Game” is in use");
    CMsgWnd::SetNextAnswer(IDOK);
    click(button("device_profile_delete_btn"));
    EXPECT_EQ(CMsgWnd::LastText().toStdString(), "Delete the profile “Game”? Its settings cannot be brought back.");
    EXPECT_EQ(names(), std::vector<std::string>({"profile1", "profile1 copy"}));
    EXPECT_EQ(status().toStdString(), "Profile “Game” deleted; “profile1” is in use");
    CMsgWnd::SetNextAnswer(IDOK);
    click(button("device_profile_new_btn"));
    EXPECT_EQ(status().toStdString(), "New profile “profile2” created and in use");
    // The last profile stays, and the user learns why.
    for (int i = 0; i < 2; ++i) {
        CMsgWnd::SetNextAnswer(IDOK);
        click(button("device_profile_delete_btn"));
    }
    ASSERT_EQ(names().size(), 1u);
    CMsgWnd::SetNextAnswer(IDOK);
    CMsgWnd::SetNextAnswer(IDOK);
    click(button("device_profile_delete_btn"));
    EXPECT_EQ(CMsgWnd::LastTextKey(), "message_last_profile");
    EXPECT_EQ(names().size(), 1u);

    // Unplugged: said so.
    ASSERT_TRUE(vdev.request(R"({"cmd":"unplug"})")["ok"].asBool());
    ASSERT_TRUE(waitUntil([&] { return wnd->StatusTextId() == "status_device_removed"; }));
    EXPECT_EQ(status(), "Keyboard disconnected");
}

TEST_F(WindowFrame, GameModeLocksTheWindowsKeyOfTheShownKeyboardAndASaveThatFailsIsTold) {
    CControlUI* game = nullptr;
    CDevicePageUI* page = startKeyboard();
    ASSERT_NE(page, nullptr);
    game = wnd->FindControl("gamemodebtn");
    ASSERT_TRUE(waitUntil([&] { return game->IsVisible(); }, 3000)) << "shown once a keyboard is";
    ASSERT_EQ(record().at(21), 0);
    auto* option = qobject_cast<COptionUI*>(page->FindSubControl("winlockflag_option"));
    ASSERT_NE(option, nullptr);
    click(game);
    ASSERT_TRUE(waitUntil([&] { return record().at(21) == 1; })) << "the keyboard's Windows-key lock";
    ASSERT_TRUE(waitUntil([&] { return wnd->StatusTextId() == "status_gamemode_on"; }));
    EXPECT_TRUE(option->IsSelected()) << "the settings tab shows the same switch";
    EXPECT_TRUE(game->accessibleName().startsWith("Game mode is on"));
    // The switch on the settings tab turns it off; the title bar follows.
    click(option);
    ASSERT_TRUE(waitUntil([&] { return record().at(21) == 0; }));
    ASSERT_TRUE(waitUntil([&] { return wnd->StatusTextId() == "status_saved_to_keyboard"; }));
    EXPECT_TRUE(game->accessibleName().startsWith("Game mode: click"));

    // The profile folder goes away (as a full disk refuses): the change still reaches the
    // keyboard, and the user hears that it could not be saved.
    const QString keyboardFolder = QString::fromStdString(FamilyDataDir("keyboard"));
    ASSERT_TRUE(QDir().rename(keyboardFolder, keyboardFolder + ".away"));
    const int shown = CMsgWnd::ShownCount();
    CMsgWnd::SetNextAnswer(IDOK);
    click(game);
    ASSERT_TRUE(waitUntil([&] { return CMsgWnd::ShownCount() == shown + 1; }));
    EXPECT_EQ(CMsgWnd::LastTextKey(), "message_save_failed");
    ASSERT_TRUE(waitUntil([&] { return record().at(21) == 1; }));
    ASSERT_TRUE(QDir().rename(keyboardFolder + ".away", keyboardFolder));

    // Without a keyboard there is nothing to lock.
    ASSERT_TRUE(vdev.request(R"({"cmd":"unplug"})")["ok"].asBool());
    ASSERT_TRUE(waitUntil([&] { return !game->IsVisible(); }, 3000));
}

TEST_F(WindowFrame, AKeyOutlineGoesWithATabOrProfileSwitch) {
    CDevicePageUI* page = startKeyboard();
    ASSERT_NE(page, nullptr);
    auto* key = qobject_cast<CDeviceKeyButtonUI*>(page->FindSubControl("key_10"));
    ASSERT_NE(key, nullptr);
    // The lighting view names the keys as the key view does, the space bar among them.
    EXPECT_EQ(page->FindSubControl("light_108")->GetText(), "Space");
    EXPECT_EQ(page->FindSubControl("light_10")->GetText(), page->FindSubControl("key_10")->GetText());
    click(key);
    ASSERT_TRUE(key->IsSelected());
    // Restoring the key's default writes the key page to the keyboard, and says so.
    click(page->FindSubControl("key_butt_keydefalut"));
    ASSERT_TRUE(waitUntil([&] { return wnd->StatusTextId() == "status_saved_to_keyboard"; }));
    ASSERT_TRUE(vdev.request(R"({"cmd":"fault","kind":"status","status":255,"count":1000})")["ok"].asBool());
    CMsgWnd::SetNextAnswer(IDOK);
    click(page->FindSubControl("key_butt_keydefalut"));
    ASSERT_TRUE(waitUntil([&] { return wnd->StatusTextId() == "status_write_failed"; }, 8000));
    EXPECT_EQ(CMsgWnd::LastTextKey(), "keyset_write_failed");
    ASSERT_TRUE(vdev.request(R"({"cmd":"clear-faults"})")["ok"].asBool());
    click(page->FindSubControl("device_function_light"));
    click(page->FindSubControl("device_function_key"));
    EXPECT_FALSE(key->IsSelected()) << "the outline went with the tab";
    EXPECT_EQ(page->Device()->FirstSelection(), -1) << "and so did the slot the editors act on";

    CMsgWnd::SetNextAnswer(IDOK);
    click(page->FindSubControl("device_profile_new_btn"));
    click(key);
    ASSERT_TRUE(key->IsSelected());
    qobject_cast<CComboUI*>(page->FindSubControl("device_profile_combo"))->SelectItem(0);
    EXPECT_FALSE(key->IsSelected()) << "another profile, another key's assignment";
}
