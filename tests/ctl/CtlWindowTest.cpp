// The automation calls in the window's own process: the window shows what a call did at
// once, as after the same action of its controls, and a device that may not be opened is
// reported as such.
#include <QDir>
#include <QJsonArray>
#include <gtest/gtest.h>

#include "app/Automation.h"
#include "app/AutomationActions.h"
#include "app/CDevicePageUI.h"
#include "device/DeviceScanThread.h"
#include "tests/app/DeviceWindowFixture.h"
#include "ui/CComboUI.h"
#include "ui/COptionUI.h"
#include "ui/CResourceManager.h"

using namespace talyx;
using namespace talyx::test;

namespace {

const auto* const kBusEnvironment = ::testing::AddGlobalTestEnvironment(new BusEnvironment);

struct Answer {
    bool done = false;
    int code = -1;
    QString message;
    QJsonObject data;
};

class AutomationWindow : public DeviceWindowFixture {
protected:
    // Calls `call` on the automation object and waits for its answer.
    Answer ask(Automation& automation, const std::function<void(Automation&)>& call) {
        auto answer = std::make_shared<Answer>();
        automation.SetDirectReply([answer](int code, const QString& message, const QJsonObject& data) {
            *answer = {true, code, message, data};
        });
        call(automation);
        EXPECT_TRUE(waitUntil([&] { return answer->done; }, 30000));
        return *answer;
    }
    CDevicePageUI* keyboardPage() {
        const auto pages = wnd->Pages(DeviceTypeKeyboard);
        return pages.empty() ? nullptr : pages.front();
    }
};

} // namespace

TEST_F(AutomationWindow, TheWindowShowsWhatACallChanged) {
    ASSERT_TRUE(plug({"keyboard"})) << vdev.lastError();
    openWindow();
    ASSERT_TRUE(waitUntil([&] { return keyboardPage() && keyboardPage()->IsStarted(); }, 20000));
    CDevicePageUI* page = keyboardPage();
    Automation automation(wnd.get());
    QString m, d;

    Answer a = ask(automation, [&](Automation& x) { x.NewProfile("keyboard", m, d); });
    ASSERT_EQ(a.code, Automation::kOk) << a.message.toStdString();
    auto* combo = qobject_cast<CComboUI*>(page->FindSubControl("device_profile_combo"));
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->GetCount(), 2);
    EXPECT_EQ(combo->GetCurSel(), 1);
    EXPECT_EQ(page->FindSubControl("device_profile_name_edit")->GetText(), "profile2");

    a = ask(automation, [&](Automation& x) { x.RenameProfile("", "Racing", m, d); });
    ASSERT_EQ(a.code, Automation::kOk) << a.message.toStdString();
    EXPECT_EQ(combo->GetItemAt(1)->GetText(), "Racing");

    a = ask(automation, [&](Automation& x) { x.AssignKey("keyboard", "A", "key:B", m, d); });
    ASSERT_EQ(a.code, Automation::kOk) << a.message.toStdString();
    EXPECT_EQ(page->FindSubControl(QString("key_%1").arg(KeySlotOfName("A")))->GetText(), "B");

    a = ask(automation, [&](Automation& x) { x.SetSettings("keyboard", {{"win-lock", "on"}}, m, d); });
    ASSERT_EQ(a.code, Automation::kOk) << a.message.toStdString();
    auto* winLock = qobject_cast<COptionUI*>(page->FindSubControl("winlockflag_option"));
    ASSERT_NE(winLock, nullptr);
    EXPECT_TRUE(winLock->IsSelected());

    a = ask(automation, [&](Automation& x) { x.SetLighting("keyboard", {{"mode", "static"}}, m, d); });
    ASSERT_EQ(a.code, Automation::kOk) << a.message.toStdString();
    auto* modes = qobject_cast<CComboUI*>(page->FindSubControl("light_combo_modeSelect"));
    ASSERT_NE(modes, nullptr);
    EXPECT_EQ(modes->GetCurSel(), a.data["mode"].toInt()) << "the lighting page shows the new mode";

    // Selecting the first profile again shows its keys and settings.
    a = ask(automation, [&](Automation& x) { x.SelectProfile("keyboard", "PROFILE1", m, d); });
    ASSERT_EQ(a.code, Automation::kOk) << a.message.toStdString();
    EXPECT_EQ(combo->GetCurSel(), 0);
    EXPECT_TRUE(waitUntil([&] { return !winLock->IsSelected(); }, 5000));
    EXPECT_EQ(page->FindSubControl(QString("key_%1").arg(KeySlotOfName("A")))->GetText(), "A");

    // A family that is not connected.
    a = ask(automation, [&](Automation& x) { x.Lighting("headset", m, d); });
    EXPECT_EQ(a.code, Automation::kNoDevice);
    EXPECT_EQ(a.message, "no headset is connected");
}

TEST_F(AutomationWindow, ADeviceThatMayNotBeOpenedIsReportedSo) {
    // An empty bus: the scan passes and finds nothing it may open.
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(busRoot().path() + "/bus")));
    openWindow();
    ASSERT_TRUE(waitUntil([&] { return wnd->ScanPassed(); }, 15000));
    wnd->Table().ReplaceInaccessible({{"/dev/hidraw7", "/sys/x/hidraw7", 0}});
    // The device panel says which node and what to do, instead of "no device".
    wnd->sendMessage(DeviceScanThread::kMsgDeviceNoAccess, 0, 0);
    CControlUI* title = wnd->FindControl("nodevice_title");
    CControlUI* text = wnd->FindControl("nodevice_access_text");
    ASSERT_TRUE(title && text);
    EXPECT_EQ(title->GetText(), CResourceManager::GetInstance().GetText("nodevice_noaccess_title"));
    EXPECT_TRUE(text->IsVisible());
    EXPECT_TRUE(text->GetText().contains("/dev/hidraw7")) << text->GetText().toStdString();
    EXPECT_FALSE(wnd->FindControl("nodevice_text")->IsVisible()) << "not the plain plug-in text";
    Automation automation(wnd.get());
    QString m, d;
    Answer a = ask(automation, [&](Automation& x) { x.Profiles("keyboard", m, d); });
    EXPECT_EQ(a.code, Automation::kNoPermission);
    EXPECT_TRUE(a.message.contains("/dev/hidraw7")) << a.message.toStdString();
    a = ask(automation, [&](Automation& x) { x.Devices(m, d); });
    EXPECT_EQ(a.code, Automation::kNoPermission);
    const QJsonArray devices = a.data["devices"].toArray();
    ASSERT_EQ(devices.size(), 1);
    EXPECT_EQ(devices[0].toObject()["state"].toString(), "no-permission");
    EXPECT_EQ(devices[0].toObject()["node"].toString(), "/dev/hidraw7");
}
