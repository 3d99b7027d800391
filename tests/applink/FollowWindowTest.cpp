// The window with the virtual keyboard follows the application in front: windows of two
// classes on a private X server, focus moved by the test as a window manager would, and
// the keyboard's record and assignment block read back from talyx-vdev. The same with two
// Wayland windows in a private sway, and driven by compositor reports through the
// automation interface's method.
#include <functional>

#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>
#include <unistd.h>

#include "app/AppLinkSwitcher.h"
#include "app/Automation.h"
#include "app/CDevicePageUI.h"
#include "app/KeyboardPage.h"
#include "app/ProfileBar.h"
#include "online/CSetWnd.h"
#include "profile/ProfileFiles.h"
#include "tests/app/DeviceWindowFixture.h"
#include "tests/applink/SwayFixture.h"
#include "tests/applink/XDisplayFixture.h"
#include "tests/support/PreparedProfiles.h"
#include "ui/CComboUI.h"
#include "vdev/VdevFraming.h"

using namespace talyx;
using talyx::test::waitUntil;

namespace {

const auto* const kBusEnvironment = ::testing::AddGlobalTestEnvironment(new talyx::test::BusEnvironment);

std::vector<uint8_t> bytes(const Json::Value& hex) {
    std::vector<uint8_t> out;
    vdev::FromHex(hex.asString(), out);
    return out;
}

class FollowWindow : public talyx::test::DeviceWindowFixture {
protected:
    // Two profiles: "Desk" (static lighting, keys as they come), selected, and "Game"
    // (breathing, A types B), linked to windows of class "Game.Client".
    void prepareProfiles() {
        const std::string folder = FamilyDataDir("keyboard");
        Json::Value desk = readjsonFile(DefaultDocumentPath("keyboard"))["Device"][0];
        ASSERT_TRUE(desk.isObject());
        Json::Value game = desk;
        desk["LightInfo"]["SelectItem"] = 6;
        game["LightInfo"]["SelectItem"] = 5;
        game["KeyList"][64]["Assignment"] = 0x200005;
        test::WriteProfile(folder, "desk", "Desk", desk, false);
        test::WriteProfile(folder, "game", "Game", game, false);
        Json::Value list(Json::objectValue);
        const char* names[] = {"Desk", "Game"};
        const char* uuids[] = {"desk", "game"};
        for (Json::ArrayIndex i = 0; i < 2; ++i) {
            list["profilelist"][i]["profilename"] = names[i];
            list["profilelist"][i]["profileUUID"] = uuids[i];
            list["profilelist"][i]["profileislink"] = i == 1 ? 1 : 0;
            list["profilelist"][i]["profilelinkmame"] = i == 1 ? "Game.Client" : "";
        }
        list["profileselect"] = 0;
        ASSERT_TRUE(writejsonFile(JoinPath(folder, "ProfileList.ini"), list));
    }
    // The keyboard is plugged before the window opens, or after `beforePlug` has run in
    // the open window.
    void start(const std::function<void()>& beforePlug = {}) {
        prepareProfiles();
        if (beforePlug) {
            openWindow();
            beforePlug();
        }
        ASSERT_TRUE(plug({"keyboard"})) << vdev.lastError();
        if (!beforePlug)
            openWindow();
        ASSERT_TRUE(waitUntil([&] {
            auto pages = wnd->Pages(DeviceTypeKeyboard);
            page = pages.empty() ? nullptr : pages.front();
            return page && page->IsStarted();
        }));
        if (!beforePlug) {
            ASSERT_TRUE(waitUntil([&] { return mode() == 6; })) << "Desk reaches the keyboard at start";
        }
        const std::vector<uint8_t> factory = bytes(firmware()["factoryCodes"]);
        for (size_t k = 0; k + 2 < factory.size() && keyA < 0; k += 3)
            if (factory[k] == 0x20 && factory[k + 1] == 0 && factory[k + 2] == 0x04)
                keyA = static_cast<int>(k / 3);
        ASSERT_GE(keyA, 0);
    }
    Json::Value firmware() { return vdev.state()[0]["firmware"]; }
    int mode() {
        const std::vector<uint8_t> record = bytes(firmware()["records"]);
        return record.size() > 1 ? record[1] : -1;
    }
    // What key A sends, as the assignment block holds it.
    std::string keyAssignment() {
        const std::vector<uint8_t> block = bytes(firmware()["assignments"]);
        char b[8] = "";
        if (keyA >= 0 && block.size() >= size_t(3 * keyA + 3))
            std::snprintf(b, sizeof b, "%02x%02x%02x", block[3 * keyA], block[3 * keyA + 1], block[3 * keyA + 2]);
        return b;
    }
    uint64_t recordWrites() { return firmware()["commands"]["0x06"].asUInt64(); }
    std::string selected() {
        ProfileList& list = page->Keyboard()->Profiles();
        return list.Selected() >= 0 ? list.Names()[size_t(list.Selected())] : "";
    }
    // Game is selected and the keyboard holds its record and keys.
    bool onGame() { return selected() == "Game" && mode() == 5 && keyAssignment() == "200005"; }
    bool onDesk() { return selected() == "Desk" && mode() == 6 && keyAssignment() == "200004"; }

    test::ScratchDir apps; // no installed application gets in the way of the classes
    test::ScopedEnv dataDirs{"XDG_DATA_DIRS", apps.path()};
    test::ScopedEnv desktop{"XDG_CURRENT_DESKTOP", ""};
    CDevicePageUI* page = nullptr;
    int keyA = -1;
};

} // namespace

TEST_F(FollowWindow, TheKeyboardFollowsTheX11WindowInFrontAndSettlesQuickChanges) {
    test::XDisplay x;
    std::string why;
    if (!x.start(why))
        GTEST_SKIP() << why;
    test::ScopedEnv display("DISPLAY", x.name());
    test::ScopedEnv session("XDG_SESSION_TYPE", "x11");
    const uint32_t otherPid = static_cast<uint32_t>(::getppid());
    const xcb_window_t game = x.window("game", "Game.Client", otherPid);
    const xcb_window_t editor = x.window("editor", "Editor", otherPid);
    const xcb_window_t ours = x.window("talyx", "talyx", static_cast<uint32_t>(::getpid()));
    start();
    AppLinkSwitcher* follower = wnd->Follower();
    ASSERT_NE(follower, nullptr);
    ASSERT_EQ(follower->SourceName(), "x11") << follower->StatusText().toStdString();
    EXPECT_FALSE(follower->StatusText().isEmpty());

    // An application without a link changes nothing.
    x.activate(editor);
    QTest::qWait(AppLinkSwitcher::kSettleMs * 2);
    EXPECT_TRUE(onDesk());

    // The linked one brings its profile; the window's combo follows.
    x.activate(game);
    ASSERT_TRUE(waitUntil([&] { return onGame(); })) << selected() << " mode " << mode() << " A " << keyAssignment();
    auto* combo = qobject_cast<CComboUI*>(page->FindSubControl("device_profile_combo"));
    EXPECT_EQ(combo->GetText(), "Game");

    // Our own window in front (the user edits the profile) keeps it.
    x.activate(ours);
    QTest::qWait(AppLinkSwitcher::kSettleMs * 2);
    EXPECT_TRUE(onGame());

    // Leaving gives back the profile selected before.
    x.activate(editor);
    ASSERT_TRUE(waitUntil([&] { return onDesk(); })) << selected() << " mode " << mode();

    // Twenty changes within a second settle once, on the last window.
    const uint64_t writesBefore = recordWrites();
    const int switchesBefore = follower->Switches();
    for (int i = 0; i < 20; ++i) {
        x.activate(i % 2 ? game : editor);
        QTest::qWait(50);
    }
    ASSERT_TRUE(waitUntil([&] { return onGame(); }));
    QTest::qWait(AppLinkSwitcher::kSettleMs * 2);
    EXPECT_EQ(follower->Switches() - switchesBefore, 1);
    const uint64_t writes = recordWrites() - writesBefore;
    std::printf("20 focus changes in a second: %d switch, %llu record write(s)\n",
                follower->Switches() - switchesBefore, static_cast<unsigned long long>(writes));
    EXPECT_GE(writes, 1u);
    EXPECT_LE(writes, 2u);

    // Away and back before it settles: the profile already applied is not written again.
    const uint64_t settled = recordWrites();
    x.activate(editor);
    QTest::qWait(AppLinkSwitcher::kSettleMs / 3);
    x.activate(game);
    QTest::qWait(AppLinkSwitcher::kSettleMs * 3);
    EXPECT_EQ(recordWrites(), settled);
    EXPECT_TRUE(onGame());

    // The user picks another profile while the game is in front: leaving does not undo it.
    combo->SelectItem(0);
    ASSERT_TRUE(waitUntil([&] { return onDesk(); }));
    combo->SelectItem(1);
    ASSERT_TRUE(waitUntil([&] { return onGame(); }));
    x.activate(XCB_WINDOW_NONE);
    ASSERT_TRUE(waitUntil([&] { return onDesk(); })) << "no window in front: the linked one left";

    // "Link to application...": the window in front before this program's is offered by
    // its class; choosing it moves the link to the selected profile, whose label shows it.
    ProfileBar* bar = page->Keyboard()->Bar();
    CControlUI* label = page->FindSubControl("device_profile_link_label");
    ASSERT_NE(label, nullptr);
    EXPECT_FALSE(label->IsVisible());
    std::unique_ptr<QMenu> menu(bar->BuildLinkMenu());
    ASSERT_NE(menu, nullptr);
    auto* last = menu->findChild<QAction*>("link_last");
    ASSERT_NE(last, nullptr);
    EXPECT_TRUE(last->text().contains("Game.Client")) << last->text().toStdString();
    EXPECT_EQ(menu->findChild<QAction*>("link_remove"), nullptr) << "Desk has no link to remove";
    last->trigger();
    EXPECT_EQ(page->Keyboard()->Profiles().Links(), (std::vector<std::string>{"Game.Client", ""}));
    EXPECT_TRUE(label->IsVisible());
    EXPECT_TRUE(label->GetText().contains("Game.Client")) << label->GetText().toStdString();
    menu.reset(bar->BuildLinkMenu());
    // With TALYX_SCREENSHOT_DIR set: the bar with its menu open and the linked profile's
    // application, the link menu, and the settings line (scripts/screenshots).
    const QByteArray shots = qgetenv("TALYX_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
        const QString dir = QString::fromLocal8Bit(shots);
        QTest::qWait(300);
        wnd->grab().save(dir + "/profile-linked.png");
        QTest::mouseClick(page->FindSubControl("device_profile_menu_btn"), Qt::LeftButton);
        QTest::qWait(300);
        wnd->grab().save(dir + "/profile-link.png");
        menu->adjustSize();
        menu->grab().save(dir + "/profile-link-menu.png");
        wnd->OpenSettings(1);
        QTest::qWait(300);
        if (wnd->SettingsWindow())
            wnd->SettingsWindow()->grab().save(dir + "/settings-focus.png");
    }
    auto* remove = menu->findChild<QAction*>("link_remove");
    ASSERT_NE(remove, nullptr);
    remove->trigger();
    EXPECT_FALSE(label->IsVisible());
    EXPECT_EQ(readjsonFile(page->Keyboard()->Profiles().ListPath())["profilelist"][0]["profileislink"].asInt(), 0);
}

TEST_F(FollowWindow, TheKeyboardFollowsTheWindowInFrontOfAWlrootsCompositor) {
    test::Sway sway;
    std::string why;
    if (!sway.start(why))
        GTEST_SKIP() << why;
    test::ScopedEnv session("XDG_SESSION_TYPE", "wayland");
    test::ScopedEnv wayland("WAYLAND_DISPLAY", sway.display());
    test::ScopedEnv desktopName("XDG_CURRENT_DESKTOP", "sway");
    start();
    AppLinkSwitcher* follower = wnd->Follower();
    ASSERT_NE(follower, nullptr);
    ASSERT_EQ(follower->SourceName(), "wlroots") << follower->StatusText().toStdString();
    const QString active = follower->StatusText();
    EXPECT_TRUE(active.contains("wlroots")) << active.toStdString();

    // A window takes the focus when it opens.
    ASSERT_GT(sway.window("Game.Client", "Game"), 0);
    ASSERT_TRUE(waitUntil([&] { return onGame(); })) << selected() << " mode " << mode() << " A " << keyAssignment();
    ASSERT_GT(sway.window("Editor", "Editor"), 0);
    ASSERT_TRUE(waitUntil([&] { return onDesk(); })) << selected() << " mode " << mode();
    ASSERT_TRUE(sway.focus("Game.Client")) << sway.lastError();
    ASSERT_TRUE(waitUntil([&] { return onGame(); })) << selected() << " mode " << mode() << " A " << keyAssignment();
    ASSERT_TRUE(sway.focus("Editor")) << sway.lastError();
    ASSERT_TRUE(waitUntil([&] { return onDesk(); })) << selected() << " mode " << mode();
    ASSERT_TRUE(sway.focus("Game.Client")) << sway.lastError();
    ASSERT_TRUE(waitUntil([&] { return onGame(); }));

    // The compositor goes: the game is no longer known in front, and the settings say why.
    sway.kill();
    ASSERT_TRUE(waitUntil([&] { return onDesk(); })) << selected() << " mode " << mode();
    EXPECT_NE(follower->StatusText(), active);
    EXPECT_EQ(follower->SourceName(), "wlroots");
}

TEST_F(FollowWindow, CompositorReportsThroughTheAutomationMethodSwitchTheSameWay) {
    start();
    AppLinkSwitcher* follower = wnd->Follower();
    ASSERT_NE(follower, nullptr);
    Automation automation(wnd.get());
    int code = -1;
    QString message;
    QJsonObject data;
    automation.SetDirectReply([&](int c, const QString& m, const QJsonObject& d) {
        code = c;
        message = m;
        data = d;
    });
    QString unusedMessage, unusedData;
    auto report = [&](const QString& id, const QString& cls, uint pid) {
        code = -1;
        automation.ApplicationActivated(id, cls, pid, unusedMessage, unusedData);
        return code;
    };

    // Without a desktop whose scripts report, reports are refused and change nothing.
    follower->Start(FocusSession{"tty", "", "", ""});
    EXPECT_EQ(report("", "Game.Client", 0), Automation::kNotSupported) << message.toStdString();

    follower->Start(FocusSession{"wayland", "KDE", "", "wayland-0"});
    EXPECT_EQ(follower->SourceName(), "kwin");
    const QString waiting = follower->StatusText();
    EXPECT_EQ(report("", QStringLiteral("Game\x01"), 0), Automation::kBadArgument);
    EXPECT_EQ(report(QString(300, 'x'), "", 0), Automation::kBadArgument);
    EXPECT_EQ(follower->StatusText(), waiting) << "a refused report does not count as the script's";

    EXPECT_EQ(report("", "Game.Client", 0), Automation::kOk) << message.toStdString();
    EXPECT_EQ(data["source"].toString(), "kwin");
    EXPECT_EQ(data["application"].toString(), "Game.Client");
    EXPECT_NE(follower->StatusText(), waiting) << "the script has reported: the settings say it is active";
    ASSERT_TRUE(waitUntil([&] { return onGame(); }));

    // The numbers a script engine sends for the process are taken as well.
    QString m, d;
    automation.ApplicationActivated("org.example.Editor", "Editor", 12.0, m, d);
    EXPECT_EQ(code, Automation::kOk);
    automation.ApplicationActivated("org.example.Editor", "Editor", -5, m, d);
    EXPECT_EQ(code, Automation::kOk);
    ASSERT_TRUE(waitUntil([&] { return onDesk(); }));
}

// A linked application that is already in front when the keyboard arrives has its profile
// once the keyboard's page has started, without waiting for the focus to move.
TEST_F(FollowWindow, AnApplicationAlreadyInFrontHasItsProfileWhenTheKeyboardArrives) {
    start([&] {
        AppLinkSwitcher* follower = wnd->Follower();
        ASSERT_NE(follower, nullptr);
        follower->Start(FocusSession{"wayland", "KDE", "", "wayland-0"});
        FocusedApplication game;
        game.windowClass = "Game.Client";
        ASSERT_TRUE(follower->Report(game));
        QTest::qWait(AppLinkSwitcher::kSettleMs + 100); // settles with no device to switch
    });
    ASSERT_TRUE(waitUntil([&] { return onGame(); })) << selected();
}
