// The settings window through the real main window, the virtual devices, a local HTTPS
// update server and the session bus: devices and the application are checked, the
// packages are downloaded and run, and they report back over D-Bus.
//
// With TALYX_SCREENSHOT_DIR set, the window is saved there while it checks, while it
// offers the updates and while it downloads (scripts/screenshots does this).
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QTest>
#include <fstream>

#include "app/AppBus.h"
#include "online/CSetWnd.h"
#include "online/CUpdateInfoListItemUI.h"
#include "online/PackageFolder.h"
#include "online/UpdateTable.h"
#include "platform/Registry.h"
#include "tests/app/DeviceWindowFixture.h"
#include "tests/online/OnlineTestSupport.h"
#include "ui/CListUI.h"
#include "ui/CMsgWnd.h"
#include "ui/COptionUI.h"
#include "ui/CProgressUI.h"
#include "ui/CTrayIcon.h"
#include "ui/WindowMessages.h"

using namespace talyx;
using namespace talyx::test;

namespace {

const auto* const kBusEnvironment = ::testing::AddGlobalTestEnvironment(new BusEnvironment);

void shoot(QWidget* window, const char* name) {
    const QByteArray dir = qgetenv("TALYX_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(QString::fromLocal8Bit(dir));
    window->grab().save(QString::fromLocal8Bit(dir) + "/" + name + ".png", "PNG");
}

// A package that tells the program how its update went, as an update program does.
std::string reportingPackage(int step, size_t padding) {
    std::string script = "#!/bin/sh\n";
    for (size_t i = 0; i < padding / 64; ++i)
        script += "# " + std::string(61, 'x') + "\n";
    script += "exec dbus-send --session --print-reply --dest=org.talyx.RgbGamingKeyboard /org/talyx/RgbGamingKeyboard "
              "org.talyx.RgbGamingKeyboard.UpdateState uint32:" +
              std::to_string(step) + " int64:0 >/dev/null\n";
    return script;
}

} // namespace

class SettingsWindowTest : public DeviceWindowFixture {
protected:
    void SetUp() override {
        DeviceWindowFixture::SetUp();
        if (!TrustedCertificate::Get().made)
            GTEST_SKIP() << "the openssl program could not make a certificate";
        QDBusConnection session = QDBusConnection::sessionBus();
        if (!session.isConnected() || !session.registerService(kBusName))
            GTEST_SKIP() << "no session bus";
        ASSERT_TRUE(server.Start([this](const HttpRequest& r, HttpConnection& c) { answer(r, c); },
                                 TrustedCertificate::Get().cert, TrustedCertificate::Get().key));
        url = std::make_unique<ScopedEnv>("TALYX_UPDATE_URL", server.Url("/api/"));
        UpdateTimings quick;
        quick.afterDownloadMs = 0;
        quick.beforeStartMs = 50;
        CSetWnd::Timings() = quick;
        CMsgWnd::SetNextAnswer(IDOK);
    }
    void TearDown() override {
        DeviceWindowFixture::TearDown();
        server.Stop();
        QDBusConnection::sessionBus().unregisterObject(kBusPath);
        QDBusConnection::sessionBus().unregisterService(kBusName);
    }
    void openWithBus() {
        wnd = std::make_unique<CMainWnd>(&bus);
        bus.SetTarget(wnd.get());
        ASSERT_TRUE(bus.Export());
        ASSERT_TRUE(wnd->Create(nullptr, QString::fromUtf8(kProductTitle), QRect(0, 0, 800, 572)));
        ASSERT_TRUE(waitUntil([&] { return wnd->isVisible(); }));
    }
    void answer(const HttpRequest& r, HttpConnection& c) {
        if (r.path == "/api/updates") {
            // The first answer takes a moment, so that the window can be seen checking.
            if (firstQuery.exchange(false))
                c.Pause(600);
            for (const auto& [key, reply] : replies)
                if (r.body.rfind("app_key=" + key + "&", 0) == 0)
                    return void(c.Send(TestHttpServer::Response(200, reply)));
            c.Send(TestHttpServer::Response(200, R"({"name":""})"));
            return;
        }
        const std::string& body = packages[r.path];
        const std::string head =
            "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
        if (r.method == "HEAD")
            return void(c.Send(head));
        c.Send(head);
        // Slowly enough that the progress can be seen.
        for (size_t at = 0; at < body.size(); at += 8192) {
            c.Send(body.substr(at, 8192));
            c.Pause(15);
        }
    }
    void offer(const std::string& key, const std::string& path, const std::string& version, const std::string& body) {
        packages[path] = body;
        replies[key] = R"({"name":"p","version":")" + version + R"(","version_name":"V)" + version + R"(","path":")" +
                       server.Url(path) + R"(","device_id":3})";
    }
    CSetWnd* settings() const { return wnd->SettingsWindow(); }
    CUpdateInfoListItemUI* item(int index) const {
        auto* list = qobject_cast<CContainerUI*>(settings()->FindControl("update_list"));
        int seen = 0;
        for (int i = 0; list && i < list->GetCount(); ++i)
            if (auto* it = qobject_cast<CUpdateInfoListItemUI*>(list->GetItemAt(i)); it && seen++ == index)
                return it;
        return nullptr;
    }
    QString textOf(int index, const char* control) const { return item(index)->FindSubControl(control)->GetText(); }
    QString tr(const char* key) const { return CResourceManager::GetInstance().GetText(key); }

    ScopedEnv cacheHome{"XDG_CACHE_HOME", data.path() + "/cache"};
    ScopedEnv ca{"TALYX_UPDATE_CA_FILE", TrustedCertificate::Get().cert};
    ScopedEnv noProxy1{"https_proxy", ""};
    ScopedEnv noProxy2{"all_proxy", ""};
    ScopedEnv noProxy3{"HTTPS_PROXY", ""};
    std::unique_ptr<ScopedEnv> url;
    TestHttpServer server;
    std::atomic<bool> firstQuery{true};
    std::map<std::string, std::string> replies;
    std::map<std::string, std::string> packages;
    AppBus bus;
};

TEST_F(SettingsWindowTest, ChecksDownloadsAndRunsTheUpdatesOfTheDevices) {
    RegistryStore::user().createKey(UninstallKey());
    RegistryStore::user().writeString(UninstallKey(), "DisplayVersion", "1.0.5");
    // The keyboard's package reports that it is done; the mouse's that it failed.
    offer("QUORV_1_RX40Q71B_TALYX RGB_1", "/kb.sh", "106", reportingPackage(kStepDone, 120000));
    offer("QUORV_1_RX40Q38B_MS_1", "/ms.sh", "106", reportingPackage(kStepFailed, 100));
    ASSERT_TRUE(plug({"mouse", "keyboard"})) << vdev.lastError();
    openWithBus();
    ASSERT_TRUE(waitUntil([&] { return wnd->VisibleSelectorCount() == 2; }));
    ASSERT_TRUE(waitUntil([&] { return wnd->UpdateRows().size() == 3u; })) << "mouse, keyboard, application";

    QTest::mouseClick(wnd->FindControl("setbtn"), Qt::LeftButton);
    ASSERT_NE(settings(), nullptr);
    ASSERT_TRUE(waitUntil([&] { return settings()->isVisible(); }));
    EXPECT_EQ(settings()->FindControl("Update_Status_text")->GetText(), tr("GetUpdateInfoText"));
    EXPECT_EQ(textOf(0, "update_status_text"), "Checking…");
    QTest::qWait(100);
    shoot(settings(), "settings-checking");

    ASSERT_TRUE(waitUntil(
        [&] { return settings()->FindControl("Update_Status_text")->GetText() == tr("HaveUpdateInfoText"); }, 10000));
    const char* names[] = {"MS", "TALYX RGB", "AP"};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(textOf(i, "check_name_select"), names[i]);
    EXPECT_EQ(textOf(0, "OldRev"), "V0105") << "the release the device reports";
    EXPECT_EQ(textOf(1, "OldRev"), "V0105");
    EXPECT_EQ(textOf(1, "updateRev"), "V106");
    EXPECT_EQ(textOf(1, "update_status_text"), "Update available");
    EXPECT_EQ(textOf(2, "OldRev"), QString::fromStdString(ApplicationDisplayVersion())) << "no answer: its own";
    EXPECT_EQ(textOf(2, "update_status_text"), "Up to date");
    auto* box0 = qobject_cast<COptionUI*>(item(0)->FindSubControl("check_name_select"));
    auto* box1 = qobject_cast<COptionUI*>(item(1)->FindSubControl("check_name_select"));
    auto* box2 = qobject_cast<COptionUI*>(item(2)->FindSubControl("check_name_select"));
    EXPECT_TRUE(box0->IsSelected() && box1->IsSelected());
    EXPECT_FALSE(box2->IsEnabled()) << "nothing to update";
    CControlUI* update = settings()->FindControl("update_fw_and_ap");
    EXPECT_TRUE(update->IsVisible() && update->IsEnabled());
    EXPECT_EQ(box1->accessibleName(), "TALYX RGB");

    // Clearing every box withdraws the update button; ticking one offers it again.
    QTest::mouseClick(box0, Qt::LeftButton);
    QTest::mouseClick(box1, Qt::LeftButton);
    EXPECT_FALSE(update->IsVisible() || update->IsEnabled());
    QTest::mouseClick(box0, Qt::LeftButton);
    QTest::mouseClick(box1, Qt::LeftButton);
    EXPECT_TRUE(update->IsVisible() && update->IsEnabled());
    shoot(settings(), "settings-update-offered");

    QTest::mouseClick(update, Qt::LeftButton);
    auto* pages = qobject_cast<CTabLayoutUI*>(settings()->FindControl("get_update_tab_layout"));
    ASSERT_EQ(pages->GetCurSel(), 1);
    shoot(settings(), "settings-confirm");
    QTest::mouseClick(settings()->FindControl("update_OK_btn"), Qt::LeftButton);
    EXPECT_EQ(pages->GetCurSel(), 0);

    // The keyboard's package comes in steps.
    auto* bar = qobject_cast<CProgressUI*>(item(1)->FindSubControl("update_progress_value"));
    bool shot = false;
    ASSERT_TRUE(waitUntil(
        [&] {
            if (!shot && bar->GetValue() > 20 && bar->GetValue() < 90 && item(1)->State() == kItemDownloading) {
                shoot(settings(), "settings-downloading");
                EXPECT_TRUE(textOf(1, "update_status_text").startsWith("Downloading "));
                shot = true;
            }
            return item(1)->State() == kItemUpToDate;
        },
        20000))
        << "state " << item(1)->State();
    EXPECT_TRUE(shot) << "progress between 20 and 90 % was seen";
    EXPECT_EQ(textOf(1, "OldRev"), "V106") << "the new version is now the installed one";
    EXPECT_EQ(textOf(1, "updateRev"), "");
    EXPECT_FALSE(box1->IsEnabled());
    ASSERT_TRUE(waitUntil([&] { return item(0)->State() == kItemFailed; }));
    EXPECT_EQ(textOf(0, "update_status_text"), tr("UpdateFailText"));
    EXPECT_EQ(ReadLastUpdateDate(), TodayText());
    EXPECT_TRUE(waitUntil([&] { return update->IsVisible() && update->IsEnabled(); }))
        << "the failed one can be tried again";
    EXPECT_EQ(settings()->Session().PageState(), kPageHaveUpdate);

    // A report from a process that is no package of ours changes nothing.
    QDBusMessage call = QDBusMessage::createMethodCall(kBusName, kBusPath, kBusInterface, "UpdateState");
    call << 1u << qlonglong(0);
    QDBusConnection::sessionBus().send(call);
    ASSERT_TRUE(waitUntil(
        [&] { return debug.contains("update report from process " + std::to_string(getpid()) + " refused"); }));
    EXPECT_EQ(item(0)->State(), kItemFailed);

    // Closing while nothing runs; the main window can open it again.
    QTest::mouseClick(settings()->FindControl("setwnd_close"), Qt::LeftButton);
    EXPECT_TRUE(waitUntil([&] { return settings() == nullptr || settings()->IsDestroyed(); }));
}

TEST_F(SettingsWindowTest, TheLanguageListSwitchesEveryWindowAndEveryWayIn) {
    StoreInstalledVersion();
    openWithBus();
    // The tray menu's "Settings".
    const QString choice = QStringLiteral("setwnd_menu");
    wnd->sendMessage(kMsgMenuChoice, reinterpret_cast<WPARAM>(&choice), 0);
    ASSERT_NE(settings(), nullptr);
    EXPECT_TRUE(waitUntil([&] {
        return settings()->FindControl("Update_Status_text")->GetText() ==
               tr("UpdateIsLastText") + " " + QString::fromStdString(TodayText());
    })) << "the application alone, up to date";
    QTest::mouseClick(settings()->FindControl("setwnd_close"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return settings() == nullptr || settings()->IsDestroyed(); }));

    // The bus's OpenSettings does what message 3093 does.
    QDBusMessage call = QDBusMessage::createMethodCall(kBusName, kBusPath, kBusInterface, "OpenSettings");
    QDBusConnection::sessionBus().send(call);
    ASSERT_TRUE(
        waitUntil([&] { return settings() != nullptr && !settings()->IsDestroyed() && settings()->isVisible(); }));
    // The window opened again checks again; the language switch below reads its answer.
    ASSERT_TRUE(waitUntil(
        [&] { return settings()->FindControl("Update_Status_text")->GetText().startsWith(tr("UpdateIsLastText")); }));

    // The About window shows the version.
    CMsgWnd::SetNextAnswer(IDOK);
    const QString about = QStringLiteral("about_menu");
    wnd->sendMessage(kMsgMenuChoice, reinterpret_cast<WPARAM>(&about), 0);
    EXPECT_TRUE(CMsgWnd::LastText().contains(QString::fromStdString(ApplicationDisplayVersion())))
        << CMsgWnd::LastText().toStdString();

    // Chinese from the list: the main window, the settings window and the skin window follow.
    QTest::mouseClick(wnd->FindControl("skinbtn"), Qt::LeftButton);
    QTest::mouseClick(settings()->FindControl("set_tab_general"), Qt::LeftButton);
    ASSERT_EQ(qobject_cast<CTabLayoutUI*>(settings()->FindControl("setwnd_tab"))->GetCurSel(), 1);
    auto* list = qobject_cast<CListUI*>(settings()->FindControl("language_list"));
    ASSERT_EQ(list->GetCount(), static_cast<int>(ReadLanguageConfig().size()));
    EXPECT_EQ(list->GetItemAt(0)->GetText(), QString::fromUtf8("简体中文"));
    EXPECT_EQ(list->GetCurSel(), 1) << "English is shown";
    shoot(settings(), "settings-language");
    QTest::mouseClick(list->GetItemAt(0), Qt::LeftButton);
    EXPECT_EQ(wnd->CurrentLanguage(), 0);
    EXPECT_EQ(wnd->FindControl("nodevice_title")->GetText(), tr("nodevice_title"));
    EXPECT_EQ(tr("setwnd_title"), QString::fromUtf8("设置"));
    EXPECT_EQ(settings()->FindControl("setwnd_title")->GetText(), QString::fromUtf8("设置"));
    EXPECT_EQ(settings()->FindControl("set_tab_update")->accessibleName(), QString::fromUtf8("更新"));
    EXPECT_TRUE(settings()->FindControl("Update_Status_text")->GetText().startsWith(tr("UpdateIsLastText")));
    EXPECT_EQ(qobject_cast<CUpdateInfoListItemUI*>(item(0))->FindSubControl("update_status_text")->GetText(),
              QString::fromUtf8("已是最新"));
    auto* skin = wnd->findChild<WindowImplBase*>("UISkinFrame");
    ASSERT_NE(skin, nullptr);
    EXPECT_EQ(skin->FindControl("skin_title")->GetText(), tr("skin_title"));
    EXPECT_EQ(RegistryStore::user().readDword(ProductRegistryKey(), "LANGUAGE").value_or(0), 2052u);
    QTest::mouseClick(list->GetItemAt(1), Qt::LeftButton);
    EXPECT_EQ(settings()->FindControl("setwnd_title")->GetText(), "Settings");
    skin->Close();
}
