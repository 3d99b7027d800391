// The key assignment page through the window: every category reaches the keyboard's
// assignment block and the profile document, comes back when shown again, and a write that
// fails leaves the page pending and the keyboard as it was.
#include <QLineEdit>
#include <functional>

#include "editors/CKeySetControlUI.h"
#include "keyboard/KeyTables.h"
#include "tests/editors/EditorWindowFixture.h"

using namespace talyx;
using talyx::test::waitUntil;

namespace {

const auto* const kBusEnvironment = ::testing::AddGlobalTestEnvironment(new talyx::test::BusEnvironment);

const QString kFunction = QStringLiteral("keyset_function_combo");

// Faults the virtual keyboard injects, with the message the page shows for them.
struct Failure {
    const char* what;
    const char* fault; // the vdev request
    const char* message;
};

class KeySetWindow : public talyx::test::EditorWindow {
public:
    void SetUp() override {
        EditorWindow::SetUp();
        test::WriteMacroLibrary(
            folder(),
            {{"Copy", "m1", {test::MacroEvent("down", 10, 0x06, "20")}},
             {"Burst", "m2", {test::MacroEvent("down", 1, 0x01, "30"), test::MacroEvent("up", 1, 0x01, "30")}}});
    }
    CKeySetControlUI* keys() { return keyboard->KeySet(); }
    int deviceKey(int slot) { return deviceKeyOf(kKeySlotTable[slot]); }
    void failWrites(const std::vector<Failure>& failures);
    void write() {
        click("key_butt_prosave");
        ASSERT_TRUE(waitUntil([&] { return idle(); }, 15000));
    }
};

struct CategoryCase {
    const char* what;
    int slot;
    std::function<void(KeySetWindow&)> choose;
    uint32_t stored;        // the code in the profile
    const char* onKeyboard; // the bytes in the block ('x' for any digit)
    QString caption;
};

bool matches(const std::string& bytes, const char* pattern) {
    const std::string p(pattern);
    if (p.size() != bytes.size())
        return false;
    for (size_t i = 0; i < p.size(); ++i)
        if (p[i] != 'x' && p[i] != bytes[i])
            return false;
    return true;
}

} // namespace

TEST_F(KeySetWindow, EveryCategoryReachesTheKeyboardAndTheProfileAndComesBackAsShown) {
    start();
    ASSERT_NE(keys(), nullptr);
    EXPECT_FALSE(get("keyset_layout")->IsVisible()) << "no key chosen yet";
    EXPECT_FALSE(get("key_butt_prosave")->IsEnabled()) << "nothing pending";
    // Categories a keyboard does not offer.
    auto* function = get<CComboUI>(kFunction);
    EXPECT_TRUE(function->IsItemHidden(kCategoryDpi - 1));
    EXPECT_TRUE(function->IsItemHidden(kCategoryRecoil - 1));
    EXPECT_FALSE(function->IsItemHidden(kCategoryMacro - 1));

    const std::vector<CategoryCase> cases = {
        {"macro Burst ten times", 71,
         [](KeySetWindow& t) {
             t.pick(kFunction, kCategoryMacro - 1);
             t.pick("keyset_macro_combo", 1);
             t.pick("keyset_macro_over_combo", 4);
             EXPECT_TRUE(t.get("keyset_macro_cycle_layout")->IsVisible());
             t.type("keyset_macro_cycle_edit", "10");
             t.click("key_butt_keysave");
         },
         // The block numbers macros by their place in the image: Burst is its first.
         0x71010A, "71000a", QStringLiteral("Burst")},
        {"right mouse button", 64,
         [](KeySetWindow& t) {
             t.pick(kFunction, kCategoryMouseButton - 1);
             t.pick("keyset_mousekey_combo", 2);
         },
         0x100200, "100200", tr("mouse_key_right")},
        {"wheel 3 in the second direction", 65,
         [](KeySetWindow& t) {
             t.pick(kFunction, kCategoryVerticalScroll - 1);
             t.pick("keyset_mousewheel_combo", 1);
             t.type("keyset_mousewheel_num_edit", "3");
             t.click("key_butt_keysave");
         },
         0x1200FD, "1200fd", tr("mouse_key_down_Swing")},
        {"tilt 5 right with delay 2 and speed 3", 66,
         [](KeySetWindow& t) {
             t.pick(kFunction, kCategoryHorizontalScroll - 1);
             t.pick("keyset_mouseswing_combo", 1);
             t.type("keyset_mouseswing_num_edit", "5");
             t.type("keyset_mouseswing_delay_edit", "2");
             t.type("keyset_mouseswing_speed_edit", "3");
             t.click("key_butt_keysave");
         },
         0x112385, "112385", tr("mouse_key_right_Swing")},
        {"fire key", 67,
         [](KeySetWindow& t) {
             t.pick(kFunction, kCategoryFireKey - 1);
             t.type("keyset_mousefire_interval_edit", "20");
             t.type("keyset_mousefire_num_edit", "3");
             t.click("key_butt_keysave");
         },
         0x141403, "141403", tr("mouse_key_fire_key")},
        {"right Ctrl, left Shift and B captured", 68,
         [](KeySetWindow& t) {
             t.pick(kFunction, kCategoryKeyboardKey - 1);
             EXPECT_TRUE(t.keys()->CaptureKey(0x1D, true));  // right Ctrl
             EXPECT_TRUE(t.keys()->CaptureKey(0x2A, false)); // left Shift
             auto* edit = t.get<CEditUI>("keyset_keyboard_text_edit");
             edit->LineEdit()->setFocus();
             QTest::keyClick(edit->LineEdit(), Qt::Key_B);
             EXPECT_EQ(edit->GetText(), t.tr("keyboard_key_B"));
         },
         0x200305, "200305", tr("keyboard_key_LCtrl") + "+" + tr("keyboard_key_LShift") + "+" + tr("keyboard_key_B")},
        {"media play and pause", 69,
         [](KeySetWindow& t) {
             t.pick(kFunction, kCategoryMedia - 1);
             t.pick("keyset_media_combo", 1);
         },
         0x30CD00, "30cd00", tr("media_play")},
        {"system sleep", 70,
         [](KeySetWindow& t) {
             t.pick(kFunction, kCategorySystem - 1);
             t.pick("keyset_system_combo", 1);
         },
         0x400200, "400200", tr("system_sleep")},
        {"copy shortcut (right Ctrl + C)", 72,
         [](KeySetWindow& t) {
             t.pick(kFunction, kCategoryShortcut - 1);
             t.pick("keyset_combokey_combo", 4);
         },
         0x201006, "201006", tr("custem_copy")},
        {"disabled: a keyboard key with nothing captured", 73,
         [](KeySetWindow& t) {
             t.pick(kFunction, kCategoryMedia - 1);
             t.pick(kFunction, kCategoryKeyboardKey - 1);
         },
         0x200000, "200000", tr("close_text")},
    };

    for (const CategoryCase& c : cases) {
        SCOPED_TRACE(c.what);
        const int key = deviceKey(c.slot);
        ASSERT_GE(key, 0);
        const QString before = caption(c.slot);
        click(QStringLiteral("key_%1").arg(c.slot));
        EXPECT_TRUE(get("keyset_layout")->IsVisible());
        c.choose(*this);
        EXPECT_TRUE(get("key_butt_prosave")->IsEnabled()) << "applied, so pending";
        EXPECT_EQ(storedAssignment(c.slot), c.stored) << "the profile on disk takes each applied change";
        EXPECT_EQ(caption(c.slot), c.caption);
        EXPECT_NE(caption(c.slot), before);
        if (c.slot == 71)
            screenshot("keys-macro-assigned");
        write();
        EXPECT_TRUE(matches(assignmentOf(key), c.onKeyboard)) << assignmentOf(key) << " for " << c.onKeyboard;
        EXPECT_FALSE(get("key_butt_prosave")->IsEnabled()) << "written";
    }
    EXPECT_EQ(test::HexOf(area("macroImage"), 16 + 2 + 4, 4), "1e008101") << "Burst alone: 30 ms, button 1 down";

    // Shown again and applied again, each code comes back exactly: scroll counts and
    // directions, several modifiers, the macro's play mode and count.
    for (const CategoryCase& c : cases) {
        SCOPED_TRACE(c.what);
        click(QStringLiteral("key_%1").arg(c.slot));
        click("key_butt_keysave");
        EXPECT_EQ(storedAssignment(c.slot), c.stored);
    }
    click("key_65");
    EXPECT_EQ(get<CEditUI>("keyset_mousewheel_num_edit")->GetText(), "3");
    EXPECT_EQ(get<CComboUI>("keyset_mousewheel_combo")->GetCurSel(), 1);

    // Restore default writes the factory code at once.
    click("key_64");
    click("key_butt_keydefalut");
    ASSERT_TRUE(waitUntil([&] { return idle(); }, 15000));
    EXPECT_EQ(assignmentOf(deviceKey(64)), "200004");
    EXPECT_EQ(storedAssignment(64), 0x200004);
    EXPECT_EQ(caption(64), tr("keyboard_key_A"));

    // The Fn key's button follows the function mode.
    device->ShowFunctionTab(2);
    EXPECT_FALSE(get("key_110")->IsEnabled());
    device->ShowFunctionTab(1);
    EXPECT_TRUE(get("key_110")->IsEnabled());

    // Cancel shows the current code again and ends the pending state.
    click("key_66");
    pick(kFunction, kCategoryMedia - 1);
    pick("keyset_media_combo", 4);
    EXPECT_TRUE(get("key_butt_keycancel")->IsEnabled());
    click("key_butt_keycancel");
    EXPECT_FALSE(get("key_butt_keysave")->IsEnabled());
}

void KeySetWindow::failWrites(const std::vector<Failure>& failures) {
    const int key = deviceKey(64);
    const std::string factory = assignmentOf(key);
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.what);
        click("key_64");
        pick(kFunction, kCategoryMedia - 1);
        pick("keyset_media_combo", 1);
        ASSERT_TRUE(vdev.request(f.fault)["ok"].asBool());
        const int shown = CMsgWnd::ShownCount();
        CMsgWnd::SetNextAnswer(IDOK);
        write();
        EXPECT_EQ(CMsgWnd::ShownCount(), shown + 1);
        EXPECT_EQ(CMsgWnd::LastTextKey().toStdString(), f.message);
        EXPECT_TRUE(get("key_butt_prosave")->IsEnabled()) << "still pending";
        vdev.request(R"({"cmd":"clear-faults"})");
        ASSERT_TRUE(device->Commands().WaitIdle(15000));
        EXPECT_EQ(assignmentOf(key), factory) << "the block was not taken";
    }
}

TEST_F(KeySetWindow, ThroughTheReceiverAnUnreachableKeyboardIsReported) {
    start({"keyboard-receiver"});
    failWrites({{"the receiver reports the keyboard out of reach",
                 R"({"cmd":"fault","kind":"unreachable","count":1000})", "keyset_write_unreachable"}});
}

TEST_F(KeySetWindow, AFailedWriteSaysSoStaysPendingAndLeavesTheKeyboardAsItWas) {
    start();
    const int key = deviceKey(64);
    const std::string factory = assignmentOf(key);
    const std::string image = firmware()["macroImage"].asString();
    failWrites(
        {{"the keyboard stops answering", R"({"cmd":"fault","kind":"no-reply","count":1000})", "keyset_write_failed"},
         {"an error status", R"({"cmd":"fault","kind":"status","status":255,"count":1000})", "keyset_write_failed"}});

    // A macro image larger than the keyboard's memory (one unit of 128 bytes): nothing of
    // either is sent, and the overflow count is shown.
    ASSERT_TRUE(vdev.request(R"({"cmd":"set","area":"info","offset":6,"hex":"01"})")["ok"].asBool());
    std::vector<Json::Value> events;
    for (int i = 0; i < 40; ++i)
        events.push_back(test::MacroEvent(i % 2 ? "up" : "down", 10, 0x04, "5"));
    test::WriteMacroLibrary(folder(), {{"Long", "m3", events}});
    keyboard->libraryChanged();
    click("key_64");
    pick(kFunction, kCategoryMacro - 1);
    pick("keyset_macro_combo", 0);
    CMsgWnd::SetNextAnswer(IDOK);
    write();
    EXPECT_EQ(CMsgWnd::LastTextKey(), "message_text_16");
    // 16 + 2 + 4 + 160 = 182 bytes against 128: (54 / 4) + 1.
    EXPECT_EQ(CMsgWnd::LastText(), tr("message_text_16").replace("%d", "14"));
    EXPECT_TRUE(get("key_butt_prosave")->IsEnabled());
    EXPECT_EQ(assignmentOf(key), factory);
    EXPECT_EQ(firmware()["macroImage"].asString(), image);
}
