#pragma once

// The main window with devices: talyx-vdev on a private bus, the real scan and light
// threads, the shipped skin. One bus folder serves the whole test program, because the
// HID backend is chosen once per process.

#include <gtest/gtest.h>
#include <memory>

#include "app/AppMessages.h"
#include "app/CMainWnd.h"
#include "app/ControlRegistry.h"
#include "app/Language.h"
#include "platform/Debug.h"
#include "platform/Product.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/TestSupport.h"
#include "ui/CPaintManagerUI.h"
#include "ui/CResourceManager.h"
#include "vdev/VdevProcess.h"

namespace talyx::test {

inline ScratchDir& busRoot() {
    static ScratchDir dir;
    return dir;
}

class BusEnvironment : public ::testing::Environment {
public:
    void SetUp() override { setenv("TALYX_HID_BUS", (busRoot().path() + "/bus").c_str(), 1); }
};

class DeviceWindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        const QByteArray data = qgetenv("TALYX_TEST_DATA_DIR");
        const QString dataDir = data.isEmpty() ? talyx::test::buildDataDir() : QString::fromLocal8Bit(data);
        CPaintManagerUI::SetInstancePath(dataDir);
        CPaintManagerUI::SetResourcePath(dataDir + "/skin");
        CResourceManager::GetInstance().LoadResource("res.xml");
        RegisterInstanceMessage();
        RegisterAppMessages();
        RegisterControlClasses();
        StoreDesktopLanguage();
    }
    void TearDown() override {
        if (wnd && !wnd->IsDestroyed())
            wnd->Close();
        wnd.reset();
        vdev.stop();
    }
    bool plug(const std::vector<std::string>& devices) {
        return vdev.start(busRoot().path() + "/bus", devices);
    }
    void openWindow() {
        wnd = std::make_unique<CMainWnd>();
        ASSERT_TRUE(wnd->Create(nullptr, QString::fromUtf8(kProductTitle), QRect(0, 0, 800, 572)));
        ASSERT_TRUE(waitUntil([&] { return wnd->isVisible(); })) << "the scan's first pass brings the window forward";
    }
    bool noticeShown() { return wnd->FindControl("No_device_Link")->IsVisible(); }

    ScratchDir data;
    ScopedEnv dataHome{"XDG_DATA_HOME", data.path()};
    ScopedEnv configHome{"XDG_CONFIG_HOME", data.path() + "/config"};
    ScopedEnv lang{"LC_ALL", "en_US.UTF-8"};
    DebugCapture debug;
    vdev::VdevProcess vdev;
    std::unique_ptr<CMainWnd> wnd;
};


} // namespace talyx::test
