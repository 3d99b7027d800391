// Windows as other threads see them, and the program's own controls.
#include "platform/Event.h"
#include <QImage>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

#include "tests/support/QtTestSupport.h"
#include "ui/CControlFactory.h"
#include "ui/CDeviceKeyButtonUI.h"
#include "ui/CDialogBuilder.h"
#include "ui/CMpDevicePowerUI.h"
#include "ui/CSelectPanelUI.h"
#include "ui/WindowImplBase.h"
#include "ui/WindowMessages.h"

using namespace talyx;
using talyx::test::waitUntil;

namespace {

// A window built from layout text, recording the messages it handles.
class TestWindow : public WindowImplBase {
public:
    QString GetSkinFile() const override { return QString(); }
    QString GetWindowClassName() const override { return QStringLiteral("TestWnd"); }
    LRESULT HandleMessage(uint32_t msg, WPARAM wParam, LPARAM lParam) override {
        if (msg >= WM_USER) {
            handled.append(msg);
            lastOnGuiThread = QThread::currentThread() == qApp->thread();
            if (msg == WM_USER + 9)
                blockHere.wait(-1);
            return static_cast<LRESULT>(wParam) + lParam;
        }
        if (msg == WM_TIMER)
            timers.append(static_cast<int>(wParam));
        return WindowImplBase::HandleMessage(msg, wParam, lParam);
    }
    QList<uint32_t> handled;
    QList<int> timers;
    bool lastOnGuiThread = false;
    Event blockHere{true};
};

} // namespace

TEST(WindowMessages, SendWaitsForTheWindowThreadAndPostKeepsOrder) {
    TestWindow wnd;
    LRESULT result = 0;
    std::thread worker([&] {
        wnd.postMessage(WM_USER + 1, 0, 0);
        result = wnd.sendMessage(WM_USER + 2, 40, 2);
    });
    ASSERT_TRUE(waitUntil([&] { return wnd.handled.size() == 2; }));
    worker.join();
    EXPECT_EQ(result, 42);
    EXPECT_EQ(wnd.handled, QList<uint32_t>({WM_USER + 1, WM_USER + 2}));
    EXPECT_TRUE(wnd.lastOnGuiThread);
    EXPECT_EQ(wnd.sendMessage(WM_USER + 3, 1, 1), 2) << "on its own thread a send is a call";
}

TEST(WindowMessages, ClosingReleasesAWorkerWaitingInSend) {
    auto* wnd = new TestWindow;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        wnd->sendMessage(WM_USER + 5, 1, 0);
        returned = true;
    });
    // The worker waits in its send while the window's thread never gets to it: the
    // window is closed first, as on shutdown when the workers are joined.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    wnd->Close();
    worker.join();
    EXPECT_TRUE(returned.load());
    EXPECT_FALSE(wnd->postMessage(WM_USER + 6, 0, 0)) << "a destroyed window takes no more messages";
    EXPECT_EQ(wnd->sendMessage(WM_USER + 7, 0, 0), 0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(wnd->handled.contains(WM_USER + 5));
    delete wnd;
}

TEST(WindowMessages, WindowTimersArriveAsWmTimer) {
    TestWindow wnd;
    wnd.SetWindowTimer(1011, 10);
    ASSERT_TRUE(waitUntil([&] { return wnd.timers.size() >= 2; }));
    EXPECT_EQ(wnd.timers.first(), 1011);
    wnd.KillWindowTimer(1011);
    EXPECT_FALSE(wnd.HasWindowTimer(1011));
}

TEST(Controls, SelectPanelSelectsTheKeysInTheDraggedRectangle) {
    CControlFactory::GetInstance().RegistControl("CSelectPanelUI", [] { return new CSelectPanelUI; });
    CControlFactory::GetInstance().RegistControl("CDeviceKeyButtonUI", [] { return new CDeviceKeyButtonUI; });
    CPaintManagerUI pm;
    CDialogBuilder builder;
    std::unique_ptr<CControlUI> root(
        builder.CreateFromText("<SelectPanel name=\"panel\">"
                               "<DeviceKeyButton name=\"key_0\" float=\"true\" pos=\"0,0,40,40\"/>"
                               "<DeviceKeyButton name=\"key_1\" float=\"true\" pos=\"50,0,90,40\"/>"
                               "<DeviceKeyButton name=\"key_2\" float=\"true\" pos=\"100,0,140,40\"/></SelectPanel>",
                               nullptr, &pm));
    ASSERT_NE(root, nullptr);
    pm.AttachDialog(root.get());
    root->resize(200, 60);
    root->show();
    auto* panel = qobject_cast<CSelectPanelUI*>(root.get());
    ASSERT_NE(panel, nullptr);
    panel->SelectInRect(QRect(30, 10, 40, 10), false);
    QStringList names;
    for (auto* b : panel->SelectedButtons())
        names.append(b->GetName());
    names.sort();
    EXPECT_EQ(names, QStringList({"key_0", "key_1"}));
    panel->SelectInRect(QRect(110, 10, 5, 5), false);
    ASSERT_EQ(panel->SelectedButtons().size(), 1);
    EXPECT_EQ(panel->SelectedButtons().first()->GetName(), "key_2");

    auto* key = qobject_cast<CDeviceKeyButtonUI*>(pm.FindControl("key_0"));
    key->SetLightColor(0xFFFF0000, 300);
    EXPECT_EQ(key->GetLightBrightness(), 255);
}

TEST(Controls, BatteryIndicatorClampsTheLevelAndStaysBlankUntilAWirelessDeviceReports) {
    CMpDevicePowerUI power;
    power.SetBkColor(0xFF151821);
    power.resize(180, 36);
    QImage blank(power.size(), QImage::Format_ARGB32);
    blank.fill(Qt::transparent);
    QImage drawn = blank;
    power.render(&drawn, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_EQ(drawn, blank) << "a wired device: no empty box";
    EXPECT_TRUE(power.accessibleName().isEmpty());
    power.SetStatus({150, 1, 0, 1, 0, 0});
    EXPECT_EQ(power.GetLevel(), 100);
    EXPECT_TRUE(power.IsCharging());
    power.render(&drawn, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_NE(drawn, blank);
    EXPECT_TRUE(power.accessibleName().contains("100")) << power.accessibleName().toStdString();
}
