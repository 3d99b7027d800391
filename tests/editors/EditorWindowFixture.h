#pragma once

// The keyboard page's editors through the real window against talyx-vdev: controls found by
// name, the keyboard's state read back from the virtual device, profile documents from disk.

#include <QTest>
#include <cstdio>
#include <string>
#include <vector>

#include "app/CDevicePageUI.h"
#include "app/KeyboardPage.h"
#include "keyboard/CKestravaKeyboardDevice.h"
#include "platform/JsonFile.h"
#include "platform/Paths.h"
#include "profile/ProfileFiles.h"
#include "tests/app/DeviceWindowFixture.h"
#include "tests/support/PreparedProfiles.h"
#include "ui/CComboUI.h"
#include "ui/CEditUI.h"
#include "ui/CListUI.h"
#include "ui/CMsgWnd.h"
#include "ui/CResourceManager.h"
#include "ui/WindowMessages.h"
#include "vdev/VdevFraming.h"

namespace talyx::test {

inline std::string HexOf(const std::vector<uint8_t>& data, size_t from, size_t n) {
    std::string out;
    char b[4];
    for (size_t i = from; i < from + n && i < data.size(); ++i) {
        std::snprintf(b, sizeof b, "%02x", data[i]);
        out += b;
    }
    return out;
}

class EditorWindow : public DeviceWindowFixture {
public:
    std::string folder() const { return FamilyDataDir("keyboard"); }

    // Plugs a keyboard, opens the window and waits for the keyboard page to start.
    void start(const std::vector<std::string>& devices = {"keyboard"}) {
        ASSERT_TRUE(plug(devices)) << vdev.lastError();
        openWindow();
        ASSERT_TRUE(waitUntil([&] {
            auto pages = wnd->Pages(DeviceTypeKeyboard);
            page = pages.empty() ? nullptr : pages.front();
            return page && page->IsStarted();
        }));
        keyboard = page->Keyboard();
        ASSERT_NE(keyboard, nullptr);
        device = static_cast<CKestravaKeyboardDevice*>(page->Device());
        ASSERT_TRUE(device->Commands().WaitIdle(5000));
    }

    template <class T = CControlUI> T* get(const QString& name) {
        auto* c = qobject_cast<T*>(page->FindSubControl(name));
        EXPECT_NE(c, nullptr) << name.toStdString();
        return c;
    }
    void click(const QString& name) {
        if (CControlUI* c = get(name))
            QTest::mouseClick(c, Qt::LeftButton);
    }
    // Picks an item of a combo as the user does: the combo raises its notification.
    void pick(const QString& combo, int item) {
        if (auto* c = get<CComboUI>(combo)) {
            ASSERT_TRUE(c->SelectItem(item));
        }
    }
    void type(const QString& edit, const QString& text) {
        if (auto* e = get<CEditUI>(edit))
            e->SetText(text);
    }
    QString tr(const char* key) { return CResourceManager::GetInstance().GetText(QString::fromLatin1(key)); }

    // With TALYX_SCREENSHOT_DIR set, the window is saved there as NAME.png.
    void screenshot(const char* name) {
        const QByteArray dir = qgetenv("TALYX_SCREENSHOT_DIR");
        if (dir.isEmpty())
            return;
        QTest::qWait(300); // the frames paint the key picture
        wnd->grab().save(QString::fromLocal8Bit(dir) + "/" + name + ".png", "PNG");
    }
    QString caption(int slot) { return get(QStringLiteral("key_%1").arg(slot))->GetText(); }
    Json::Value firmware() { return vdev.state()[0]["firmware"]; }
    std::vector<uint8_t> area(const char* name) {
        std::vector<uint8_t> out;
        vdev::FromHex(firmware()[name].asString(), out);
        return out;
    }
    // The keyboard's own number of the key whose factory code is `code`.
    int deviceKeyOf(uint32_t code) {
        const std::vector<uint8_t> factory = area("factoryCodes");
        for (size_t k = 0; k + 2 < factory.size(); k += 3)
            if (factory[k] == (code >> 16) && factory[k + 1] == ((code >> 8) & 0xFF) && factory[k + 2] == (code & 0xFF))
                return static_cast<int>(k / 3);
        return -1;
    }
    std::string assignmentOf(int deviceKey) {
        return HexOf(area("assignments"), 3 * static_cast<size_t>(deviceKey), 3);
    }
    // "Assignment" of a slot in the current profile's document on disk.
    int64_t storedAssignment(int slot) {
        const Json::Value doc = readjsonFile(ProfileDocumentPath(folder(), device->CurrentProfileUuid()));
        return doc["Device"][0]["KeyList"][slot]["Assignment"].asInt64();
    }
    bool idle() { return device->Commands().WaitIdle(10000) && !keyboard->KeySet()->IsWriting(); }
    // "Action Type Button Delay" of each of the macro events.
    template <class Events> static std::vector<std::string> eventLines(const Events& events) {
        std::vector<std::string> out;
        for (const Json::Value& e : events)
            out.push_back(e["Action"].asString() + " " + std::to_string(e["Type"].asInt()) + " " +
                          std::to_string(e["Button"].asInt()) + " " + e["Delay"].asString());
        return out;
    }
    // The same of each event of a macro file.
    std::vector<std::string> eventsOf(const std::string& guid) {
        return eventLines(readjsonFile(JoinPath(folder(), guid + ".mac"))["Events"]);
    }

    CDevicePageUI* page = nullptr;
    KeyboardPage* keyboard = nullptr;
    CKestravaKeyboardDevice* device = nullptr;
};

} // namespace talyx::test
