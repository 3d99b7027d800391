// Recording through the global (evdev) backend, with a fake input tree behind the main
// window's hook: event times from the devices, delays of every mode, extra mouse buttons,
// the grab of the keyboard given back at every way a recording ends, and what the path
// from a device to a row costs.
#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QLineEdit>
#include <algorithm>
#include <linux/input.h>

#include "app/CMainWnd.h"
#include "app/InputHookHost.h"
#include "editors/CMacroControlUI.h"
#include "inputhook/EvdevInputBackend.h"
#include "tests/editors/EditorWindowFixture.h"
#include "tests/inputhook/FakeInputTree.h"
#include "ui/CMenuWnd.h"
#include "ui/COptionUI.h"

using namespace talyx;
using talyx::test::waitUntil;
using Kind = talyx::EvdevSystem::Kind;

namespace {

const auto* const kBusEnvironment = ::testing::AddGlobalTestEnvironment(new talyx::test::BusEnvironment);

class RecordEvdev : public talyx::test::EditorWindow {
public:
    void startRecording(std::vector<Json::Value> events = {}) {
        test::WriteMacroLibrary(folder(), {{"macro_1", "g1", events}});
        start();
        tree.add("event0", Kind::Keyboard);
        tree.add("event1", Kind::Mouse);
        hooks().Hook().SetGlobalBackend(std::make_unique<EvdevInputBackend>(tree.system()));
        keyboard->ShowFunction(2);
        ASSERT_TRUE(get<CListUI>("macro_name_list")->SelectItem(0));
    }
    InputHookHost& hooks() { return *wnd->InputHooks(); }
    CMacroControlUI* macros() { return keyboard->Macros(); }
    void record() {
        QTest::mouseClick(get("macro_btn_starredio"), Qt::LeftButton);
        ASSERT_TRUE(macros()->IsRecording());
        ASSERT_EQ(hooks().Hook().BackendName(), "evdev");
    }
    bool rowsReach(int n) {
        return waitUntil([&] { return macros()->RowCount() >= n; });
    }
    // The rows shown, and the events of the macro file.
    std::vector<std::string> rows() { return eventLines(macros()->RowEvents()); }
    std::vector<std::string> saved() { return eventsOf("g1"); }

    test::InputTree tree;
};

} // namespace

TEST_F(RecordEvdev, DelaysFromTheDevicesTimesInEveryModeAndExtraButtons) {
    startRecording();
    record();
    EXPECT_EQ(get("macro_record_backend_text")->GetText(), tr("macro_record_global_text"));
    // Keys the window still gets go to no control.
    auto* name = get<CEditUI>("macro_edit_macroname");
    name->LineEdit()->setFocus();
    QTest::keyClick(name->LineEdit(), Qt::Key_X);
    EXPECT_EQ(name->GetText(), "macro_1");
    ASSERT_TRUE(waitUntil([&] { return tree.grabbed("event0"); }));
    EXPECT_FALSE(tree.grabbed("event1"));
    tree.key("event0", KEY_A, 1, 10000);
    tree.key("event0", KEY_A, 2, 10060);
    tree.key("event0", KEY_A, 0, 10120);
    tree.key("event1", BTN_SIDE, 1, 10130);
    tree.key("event1", BTN_SIDE, 0, 80130);
    tree.key("event1", BTN_EXTRA, 1, 80140);
    tree.key("event1", BTN_EXTRA, 0, 80150);
    ASSERT_TRUE(rowsReach(6)) << ::testing::PrintToString(rows());
    // The stop button is pressed with the mouse: that click is left out.
    QCursor::setPos(get("macro_btn_stopredio")->mapToGlobal(QPoint(5, 5)));
    tree.key("event1", BTN_LEFT, 1, 80200);
    tree.key("event1", BTN_LEFT, 0, 80210);
    QTest::mouseClick(get("macro_btn_stopredio"), Qt::LeftButton);
    EXPECT_FALSE(macros()->IsRecording());
    EXPECT_FALSE(tree.grabbed("event0"));
    EXPECT_EQ(saved(), std::vector<std::string>({"down 10 4 120", "up 10 4 10", "down 1 8 65535", "up 1 8 10",
                                                 "down 1 16 10", "up 1 16 0"}));

    // Fixed delays (50) and none, inserted after the last row.
    get<COptionUI>("macro_check_time")->Selected(true);
    CMsgWnd::SetNextAnswer(IDOK);
    click("macro_btn_deleteall");
    record();
    tree.key("event0", KEY_B, 1, 90000);
    tree.key("event0", KEY_B, 0, 95000);
    ASSERT_TRUE(rowsReach(2));
    QTest::mouseClick(get("macro_btn_stopredio"), Qt::LeftButton);
    EXPECT_EQ(saved(), std::vector<std::string>({"down 10 5 50", "up 10 5 50"}));
    get<CListUI>("macro_action_list")->SelectItem(1);
    ASSERT_TRUE(macros()->HandleMenuChoice("redio_later_ignore_time"));
    ASSERT_TRUE(macros()->IsRecording());
    tree.key("event0", KEY_C, 1, 96000);
    tree.key("event0", KEY_C, 0, 99000);
    ASSERT_TRUE(rowsReach(4));
    QTest::mouseClick(get("macro_btn_stopredio"), Qt::LeftButton);
    EXPECT_EQ(saved(), std::vector<std::string>({"down 10 5 50", "up 10 5 50", "down 10 6 0", "up 10 6 0"}));
}

TEST_F(RecordEvdev, TheKeyboardIsGivenBackAtEveryEndOfARecording) {
    startRecording();
    struct Exit {
        const char* what;
        std::function<void()> end;
    };
    const Exit exits[] = {
        {"stop", [this] { QTest::mouseClick(get("macro_btn_stopredio"), Qt::LeftButton); }},
        {"page switch", [this] { keyboard->ShowFunction(3); }},
        // Without a tray a close ends the program; hiding to the tray is the close that stays.
        {"window hidden to the tray", [this] { wnd->ToggleFromTray(); }},
        {"suspend", [this] { wnd->HandleMessage(WM_POWERBROADCAST, PBT_APMSUSPEND, 0); }},
        {"reader failed",
         [this] {
             auto* backend = static_cast<EvdevInputBackend*>(hooks().Hook().GlobalBackend());
             backend->FailReader();
             backend->Wake();
         }},
        {"keyboard page unplugged", [this] { ASSERT_TRUE(vdev.request(R"({"cmd":"unplug"})")["ok"].asBool()); }},
    };
    int rows = 0;
    uint64_t t = 1000;
    for (const Exit& exit : exits) {
        SCOPED_TRACE(exit.what);
        wnd->HandleMessage(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
        wnd->showNormal();
        ASSERT_TRUE(waitUntil([&] { return page->IsStarted(); }));
        keyboard->ShowFunction(2);
        ASSERT_TRUE(get<CListUI>("macro_name_list")->SelectItem(0));
        record();
        ASSERT_TRUE(waitUntil([&] { return tree.grabbed("event0"); }));
        tree.key("event0", KEY_D, 1, t += 10);
        tree.key("event0", KEY_D, 0, t += 10);
        ASSERT_TRUE(rowsReach(rows += 2));
        exit.end();
        EXPECT_TRUE(waitUntil([&] { return !macros()->IsRecording() && !tree.grabbed("event0"); }));
        EXPECT_FALSE(hooks().Hook().IsInstalled());
        EXPECT_EQ(static_cast<int>(saved().size()), rows) << "the recording is saved";
        EXPECT_TRUE(get("macro_tab_macroaction_edit")->IsEnabled()) << "the page is unlocked";
    }
}

// Not a timed test: it reports how long an event takes from the device to its row.
TEST_F(RecordEvdev, MeasureFromTheDeviceToTheRow) {
    startRecording();
    record();
    constexpr int kEvents = 400;
    std::vector<double> us;
    QElapsedTimer timer;
    for (int i = 0; i < kEvents; ++i) {
        const int before = macros()->RowCount();
        timer.start();
        tree.key("event0", i % 2 ? KEY_G : KEY_H, 1, 1000 + uint64_t(i));
        while (macros()->RowCount() == before && timer.elapsed() < 5000)
            QCoreApplication::processEvents();
        us.push_back(double(timer.nsecsElapsed()) / 1000.0);
    }
    std::sort(us.begin(), us.end());
    double sum = 0;
    for (double v : us)
        sum += v;
    std::printf("device to row over %d events: median %.0f us, 95th %.0f us, mean %.0f us, rows %d\n", kEvents,
                us[us.size() / 2], us[us.size() * 95 / 100], sum / double(us.size()), macros()->RowCount());
    EXPECT_EQ(macros()->RowCount(), kEvents);
    // The page's own part: the row made and placed.
    timer.start();
    for (int i = 0; i < 200; ++i) {
        KeyboardHookRecord r;
        r.scanCode = i % 2 ? 0x22 : 0x23;
        r.time = 5000 + uint32_t(i);
        macros()->RecordKey(kHookModeAppend, kHookKeyDown, r);
    }
    std::printf("row added by the page: mean %.0f us\n", double(timer.nsecsElapsed()) / 1000.0 / 200);
    QTest::mouseClick(get("macro_btn_stopredio"), Qt::LeftButton);
}
