// Recording macros and capturing keys from live input, through the window with the
// backend of the window's own events: real key and mouse events go in, rows, files and the
// keyboard's key list come out.
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>

#include "app/CMainWnd.h"
#include "app/InputHookHost.h"
#include "editors/CMacroControlUI.h"
#include "platform/Clock.h"
#include "tests/editors/EditorWindowFixture.h"
#include "ui/CMenuWnd.h"
#include "ui/COptionUI.h"

using namespace talyx;
using talyx::test::waitUntil;

namespace {

const auto* const kBusEnvironment = ::testing::AddGlobalTestEnvironment(new talyx::test::BusEnvironment);

// Input codes (as the display server reports them, minus 8) of the keys used here.
constexpr int kKeyA = 30;
constexpr int kKeyC = 46;
constexpr int kKeyB = 48;
constexpr int kKeyRightCtrl = 97;
constexpr int kKeyLeftShift = 42;

class RecordWindow : public talyx::test::EditorWindow {
public:
    void SetUp() override {
        EditorWindow::SetUp();
        SetCurrentClock(&clock);
        clock.setTick(1000000);
    }
    void TearDown() override {
        EditorWindow::TearDown();
        SetCurrentClock(nullptr);
    }
    CMacroControlUI* macros() { return keyboard->Macros(); }
    CDeviceHook& hook() { return wnd->InputHooks()->Hook(); }
    // A library of one macro with these rows, shown on the macro page.
    void startWith(const std::vector<Json::Value>& events) {
        test::WriteMacroLibrary(folder(), {{"macro_1", "g1", events}});
        start();
        // The window's own events only, whatever this machine's input devices allow.
        hook().SetGlobalBackend(nullptr);
        keyboard->ShowFunction(2);
        ASSERT_TRUE(get<CListUI>("macro_name_list")->SelectItem(0));
    }
    // A key pressed or released where the focus is, as the display server delivers it.
    void key(int input, bool down, Qt::Key qtKey = Qt::Key_unknown, bool repeat = false) {
        QWidget* to = QApplication::focusWidget() ? QApplication::focusWidget() : static_cast<QWidget*>(wnd.get());
        QKeyEvent e(down ? QEvent::KeyPress : QEvent::KeyRelease, qtKey, Qt::NoModifier,
                    static_cast<quint32>(input + 8), 0, 0, QString(), repeat);
        QApplication::sendEvent(to, &e);
    }
    void tap(int input, uint64_t heldMs = 0) {
        key(input, true);
        clock.advance(heldMs);
        key(input, false);
    }
    // The rows shown, and the events of the macro file.
    std::vector<std::string> rows() { return eventLines(macros()->RowEvents()); }
    std::vector<std::string> saved() { return eventsOf("g1"); }
    bool locked() {
        const bool stop = get("macro_btn_stopredio")->IsVisible();
        EXPECT_EQ(get("macro_btn_starredio")->IsVisible(), !stop);
        EXPECT_EQ(get("macro_tab_macroaction_edit")->IsEnabled(), !stop);
        EXPECT_EQ(get("macro_tab_macrodelay_edit")->IsEnabled(), !stop);
        EXPECT_EQ(get("macro_action_list")->testAttribute(Qt::WA_TransparentForMouseEvents), stop);
        EXPECT_EQ(get("DeviceProfileItem")->IsEnabled(), !stop);
        EXPECT_EQ(wnd->FindControl("device_select_layout")->IsEnabled(), !stop);
        EXPECT_EQ(hook().IsInstalled(), stop);
        EXPECT_EQ(macros()->IsRecording(), stop);
        return stop;
    }
    // Opens the action list's context menu on a row and chooses an item of it.
    void menuOnRow(int row, const char* item) {
        auto* list = get<CListUI>("macro_action_list");
        CControlUI* r = list->GetItemAt(row);
        const QPoint inside = r->mapToGlobal(r->rect().center());
        QContextMenuEvent menu(QContextMenuEvent::Mouse, list->mapFromGlobal(inside), inside);
        CMenuWnd::SetNextChoice(QString::fromLatin1(item));
        QApplication::sendEvent(list, &menu);
    }
    void clickStop() { QTest::mouseClick(get("macro_btn_stopredio"), Qt::LeftButton); }

    ManualClock clock;
};

Json::Value keyEvent(const char* action, int usage, const char* delay) {
    return test::MacroEvent(action, 10, usage, delay);
}

} // namespace

TEST_F(RecordWindow, TypedKeysAndClicksBecomeRowsAndTheMacroIsSavedOnStop) {
    startWith({});
    ASSERT_TRUE(get("macro_btn_starredio")->IsVisible()) << "recording is offered";
    EXPECT_FALSE(get("macro_btn_stopredio")->IsVisible());
    auto* name = get<CEditUI>("macro_edit_macroname");
    name->LineEdit()->setFocus();
    debug.clear();

    QTest::mouseClick(get("macro_btn_starredio"), Qt::LeftButton);
    ASSERT_TRUE(locked());
    EXPECT_EQ(hook().Mode(), kHookModeAppend);
    EXPECT_EQ(hook().BackendName(), "window");
    EXPECT_TRUE(get("macro_record_backend_text")->IsVisible());
    EXPECT_EQ(get("macro_record_backend_text")->GetText(), tr("macro_record_window_text"));
    EXPECT_EQ(macros()->RowCount(), 0) << "the click on the record button is not recorded";

    name->LineEdit()->setFocus();
    clock.advance(500);
    key(kKeyA, true, Qt::Key_A);
    clock.advance(30);
    key(kKeyA, true, Qt::Key_A, true); // the display's own repeat
    key(kKeyA, true, Qt::Key_A);       // and one it does not mark
    clock.advance(90);
    key(kKeyA, false, Qt::Key_A);
    clock.advance(40);
    tap(kKeyRightCtrl, 15);
    clock.advance(200);
    QTest::mouseClick(get("macro_action_list"), Qt::RightButton);
    clock.advance(70000);
    QTest::mouseClick(get("macro_action_list"), Qt::MiddleButton);
    EXPECT_EQ(name->GetText(), "macro_1") << "the focused edit received no typed key";

    screenshot("macro-recording");
    ASSERT_TRUE(macros()->IsRecording());
    clock.advance(10);
    clickStop();
    EXPECT_FALSE(locked());
    EXPECT_FALSE(get("macro_record_backend_text")->IsVisible());
    const std::vector<std::string> expected = {"down 10 4 120", "up 10 4 40",   "down 9 16 15", "up 9 16 200",
                                               "down 1 2 0",    "up 1 2 65535", "down 1 4 0",   "up 1 4 0"};
    EXPECT_EQ(rows(), expected) << "one row per press: delays are the time to the next action; the stop click "
                                   "is not part of the macro";
    EXPECT_EQ(saved(), expected) << "stopping saves the macro file";
    // Focus moving in and out of the edit is told; nothing typed may be.
    for (const std::string& t : debug.texts())
        if (t.rfind("setfocus", 0) != 0 && t.rfind("killfocus", 0) != 0) {
            EXPECT_EQ(t.find("macro_edit_macroname"), std::string::npos) << "typed keys reached the name edit: " << t;
        }

    // After the stop, keys reach the controls again.
    key(kKeyA, true, Qt::Key_A);
    EXPECT_EQ(macros()->RowCount(), 8);
}

TEST_F(RecordWindow, FixedAndNoDelaysInsertBeforeAfterAndReplace) {
    startWith({keyEvent("down", 0x04, "7"), keyEvent("up", 0x04, "8")});
    // With no row selected, the modes that work around one do not start.
    for (const char* item : {"redio_previous_record_time", "redio_later_constant_time", "macro_action_edit"}) {
        SCOPED_TRACE(item);
        EXPECT_TRUE(macros()->HandleMenuChoice(QString::fromLatin1(item)));
        EXPECT_FALSE(locked());
    }

    // Fixed delay: a value past the limit is held at 65535 and written back.
    type("macro_fixed_time_edit", "99999");
    get<COptionUI>("macro_check_time")->Selected(true);
    get<CListUI>("macro_action_list")->SelectItem(0);
    menuOnRow(0, "redio_later_record_time");
    ASSERT_TRUE(locked());
    EXPECT_EQ(macros()->RecordingDelayMode(), CMacroControlUI::kDelayFixed);
    EXPECT_EQ(get<CEditUI>("macro_fixed_time_edit")->GetText(), "65535");
    tap(kKeyB, 300);
    tap(kKeyC, 300);
    clickStop();
    EXPECT_EQ(saved(), std::vector<std::string>({"down 10 4 7", "down 10 5 65535", "up 10 5 65535", "down 10 6 65535",
                                                 "up 10 6 65535", "up 10 4 8"}))
        << "inserted in order after the selected row; the row above the first recorded one keeps its delay";

    // No delay, inserted before the last row.
    type("macro_fixed_time_edit", "50");
    get<CListUI>("macro_action_list")->SelectItem(5);
    menuOnRow(5, "redio_previous_ignore_time");
    ASSERT_TRUE(locked());
    clock.advance(400);
    tap(kKeyA, 250);
    clickStop();
    EXPECT_EQ(saved()[4], "up 10 6 65535");
    EXPECT_EQ(saved()[5], "down 10 4 0");
    EXPECT_EQ(saved()[6], "up 10 4 0");
    EXPECT_EQ(saved()[7], "up 10 4 8");

    // Replacing: the selected row takes the key, keeps its action and delay.
    get<CListUI>("macro_action_list")->SelectItem(7);
    menuOnRow(7, "macro_action_edit");
    ASSERT_TRUE(locked());
    key(kKeyLeftShift, true);
    clickStop();
    EXPECT_EQ(saved()[7], "up 9 2 8");
    EXPECT_EQ(saved().size(), 8u);

    // Fixed delay into an empty list: the first row 0 until the second comes, then 50 each.
    click("macro_btn_deleteall");
    QTest::mouseClick(get("macro_btn_starredio"), Qt::LeftButton);
    key(kKeyB, true);
    EXPECT_EQ(rows(), std::vector<std::string>({"down 10 5 0"}));
    key(kKeyB, false);
    tap(kKeyC);
    clickStop();
    EXPECT_EQ(saved(), std::vector<std::string>({"down 10 5 50", "up 10 5 50", "down 10 6 50", "up 10 6 50"}));

    // A new recording remembers no key of the last one: a key still held is recorded again.
    for (int i = 0; i < 2; ++i) {
        QTest::mouseClick(get("macro_btn_starredio"), Qt::LeftButton);
        key(kKeyC, true);
        clickStop();
    }
    EXPECT_EQ(saved().size(), 6u);
}

TEST_F(RecordWindow, RecordingEndsWithPageSwitchFocusLossSuspendUnplugAndClose) {
    std::vector<Json::Value> full(MacroLibrary::kMaxEvents - 1, keyEvent("down", 0x04, "1"));
    startWith(full);
    struct Exit {
        const char* what;
        std::function<void()> end;
    };
    const Exit exits[] = {
        {"page switch", [this] { keyboard->ShowFunction(0); }},
        {"minimised, the focus gone", [this] { wnd->showMinimized(); }},
        {"suspend", [this] { wnd->HandleMessage(WM_POWERBROADCAST, PBT_APMSUSPEND, 0); }},
        {"unplugged", [this] { ASSERT_TRUE(vdev.request(R"({"cmd":"unplug"})")["ok"].asBool()); }},
    };
    int expected = static_cast<int>(full.size());
    for (const Exit& exit : exits) {
        SCOPED_TRACE(exit.what);
        wnd->HandleMessage(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
        wnd->showNormal();
        wnd->activateWindow();
        ASSERT_TRUE(waitUntil([&] { return page->IsStarted() && QApplication::activeWindow() == wnd.get(); }));
        keyboard->ShowFunction(2);
        ASSERT_TRUE(get<CListUI>("macro_name_list")->SelectItem(0));
        QTest::mouseClick(get("macro_btn_starredio"), Qt::LeftButton);
        ASSERT_TRUE(locked());
        tap(kKeyA);
        expected = std::min(expected + 2, static_cast<int>(MacroLibrary::kMaxEvents));
        exit.end();
        EXPECT_TRUE(waitUntil([&] { return !macros()->IsRecording(); }));
        EXPECT_FALSE(locked());
        EXPECT_EQ(static_cast<int>(saved().size()), expected) << "what was recorded is saved, up to 4000 rows";
        tap(kKeyA);
        EXPECT_EQ(static_cast<int>(saved().size()), expected);
    }
}

TEST_F(RecordWindow, KeyCaptureTakesKeysOnlyWhileTheKeyEditWaits) {
    start();
    hook().SetGlobalBackend(nullptr);
    keyboard->ShowFunction(0);
    click("key_5");
    pick("keyset_function_combo", kCategoryKeyboardKey - 1);
    auto* edit = get<CEditUI>("keyset_keyboard_text_edit");
    EXPECT_FALSE(hook().IsInstalled());
    edit->LineEdit()->setFocus();
    ASSERT_TRUE(hook().IsInstalled());
    EXPECT_EQ(hook().Mode(), kHookModeSingleKey);
    key(kKeyRightCtrl, true, Qt::Key_Control);
    key(kKeyRightCtrl, false, Qt::Key_Control);
    key(kKeyC, true, Qt::Key_C);
    key(kKeyC, false, Qt::Key_C);
    EXPECT_EQ(edit->GetText(), tr("keyboard_key_C"));
    // A captured modifier is taken by its kind: right Ctrl writes the Ctrl bit 0x01.
    EXPECT_EQ(storedAssignment(5), 0x200106) << "right Ctrl + C";

    // Leaving the edit, the category or the page ends the capture.
    edit->LineEdit()->clearFocus();
    EXPECT_FALSE(hook().IsInstalled());
    edit->LineEdit()->setFocus();
    ASSERT_TRUE(hook().IsInstalled());
    pick("keyset_function_combo", kCategoryMedia - 1);
    EXPECT_FALSE(hook().IsInstalled());
    pick("keyset_function_combo", kCategoryKeyboardKey - 1);
    edit->LineEdit()->clearFocus();
    edit->LineEdit()->setFocus();
    ASSERT_TRUE(hook().IsInstalled());
    keyboard->ShowFunction(2);
    EXPECT_FALSE(hook().IsInstalled());
}
