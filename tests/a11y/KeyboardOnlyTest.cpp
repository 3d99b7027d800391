// The window from the keyboard alone, against the virtual keyboard: Tab reaches the
// controls, Space chooses the lighting page, the arrow keys change the effect and the
// brightness, and the keyboard receives them; a key button is reached and chosen for an
// assignment; Esc closes the settings window.
// With TALYX_SCREENSHOT_DIR set, the window is saved with the focus on the brightness.
#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

#include "app/CDevicePageUI.h"
#include "tests/app/DeviceWindowFixture.h"
#include "ui/CComboUI.h"
#include "ui/CDeviceKeyButtonUI.h"
#include "ui/COptionUI.h"
#include "ui/CProgressUI.h"
#include "vdev/VdevFraming.h"

using namespace talyx;
using talyx::test::waitUntil;

namespace {

const auto* const kBusEnvironment = ::testing::AddGlobalTestEnvironment(new talyx::test::BusEnvironment);

class KeyboardOnly : public talyx::test::DeviceWindowFixture {
protected:
    std::vector<uint8_t> record() {
        std::vector<uint8_t> out;
        vdev::FromHex(vdev.state()[0]["firmware"]["records"].asString(), out);
        return out;
    }
    // The control that holds the focus (or the one whose inner widget does).
    static CControlUI* focused() {
        for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
            if (auto* c = qobject_cast<CControlUI*>(w))
                return c;
        return nullptr;
    }
    static void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
        ASSERT_NE(target, nullptr) << "no window has the keyboard";
        QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
    }
    // Presses Tab until `found` holds for the focused control; the walk of the whole chain
    // is bounded, so a control Tab never reaches fails instead of hanging.
    CControlUI* tabTo(const std::function<bool(CControlUI*)>& found) {
        for (int i = 0; i < 400; ++i) {
            CControlUI* c = focused();
            if (c && found(c))
                return c;
            press(Qt::Key_Tab);
        }
        return nullptr;
    }
    CControlUI* tabToName(const QString& name) {
        return tabTo([&](CControlUI* c) { return c->GetName() == name; });
    }
    void openWithKeyboard() {
        ASSERT_TRUE(plug({"keyboard"})) << vdev.lastError();
        openWindow();
        ASSERT_TRUE(waitUntil([&] {
            auto pages = wnd->Pages(DeviceTypeKeyboard);
            return !pages.empty() && pages.front()->IsStarted();
        }));
        wnd->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(wnd.get()));
        ASSERT_TRUE(waitUntil([&] { return record().size() > 3; }));
    }
};

} // namespace

TEST_F(KeyboardOnly, TabSpaceAndArrowsSetTheLighting) {
    openWithKeyboard();

    // Tab walks the controls in the order the window shows them: title bar before the page.
    std::vector<QString> order;
    for (int i = 0; i < 12; ++i) {
        if (CControlUI* c = focused())
            order.push_back(c->GetName());
        press(Qt::Key_Tab);
    }
    const auto at = [&](const char* name) { return std::find(order.begin(), order.end(), name) - order.begin(); };
    // Game mode shows only once a started keyboard is chosen; the skin button always.
    EXPECT_LT(at("skinbtn"), at("setbtn"));
    EXPECT_LT(at("setbtn"), at("closebtn"));

    // The lighting page by Tab and Space.
    auto* lightTab = qobject_cast<COptionUI*>(tabToName("device_function_light"));
    ASSERT_NE(lightTab, nullptr) << "Tab never reaches the lighting tab";
    press(Qt::Key_Space);
    ASSERT_TRUE(lightTab->IsSelected());

    // The effect: Down picks the next shown effect, which the keyboard receives.
    auto* mode = qobject_cast<CComboUI*>(tabToName("light_combo_modeSelect"));
    ASSERT_NE(mode, nullptr) << "Tab never reaches the effect";
    const std::vector<uint8_t> before = record();
    const int shown = mode->GetCurSel();
    press(Qt::Key_Down);
    EXPECT_EQ(mode->GetCurSel(), shown + 1);
    ASSERT_TRUE(waitUntil([&] { return record()[1] != before[1]; }, 10000))
        << "the effect did not reach the keyboard: record " << vdev::ToHex(record());

    // The brightness: Home goes to the lowest, Right raises it by one step.
    auto* brightness = qobject_cast<CSliderUI*>(tabToName("deng_light_slider"));
    ASSERT_NE(brightness, nullptr) << "Tab never reaches the brightness";
    press(Qt::Key_Home);
    press(Qt::Key_Right);
    EXPECT_EQ(brightness->GetValue(), brightness->GetMinValue() + brightness->GetChangeStep());
    ASSERT_TRUE(waitUntil([&] { return record()[2] == brightness->GetValue(); }, 10000))
        << "the brightness did not reach the keyboard: record " << vdev::ToHex(record());

    // With TALYX_SCREENSHOT_DIR set, the window with the focus ring on the brightness
    // (scripts/screenshots does this).
    const QByteArray dir = qgetenv("TALYX_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        QTest::qWait(300);
        wnd->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/keyboard-focus.png"));
    }
}

TEST_F(KeyboardOnly, TabAndArrowsReachAKeyAndAssignIt) {
    openWithKeyboard();

    // A key: Tab reaches the key picture once, the arrows move between its keys, Space
    // chooses one, and Tab leaves the picture without walking every key.
    auto* keysTab = qobject_cast<COptionUI*>(tabToName("device_function_key"));
    ASSERT_NE(keysTab, nullptr);
    press(Qt::Key_Space);
    auto* key = qobject_cast<CDeviceKeyButtonUI*>(
        tabTo([](CControlUI* c) { return qobject_cast<CDeviceKeyButtonUI*>(c) != nullptr; }));
    ASSERT_NE(key, nullptr) << "Tab never reaches a key button";
    press(Qt::Key_Right);
    auto* next = qobject_cast<CDeviceKeyButtonUI*>(focused());
    ASSERT_NE(next, nullptr);
    EXPECT_NE(next, key);
    EXPECT_GT(next->mapToGlobal(QPoint()).x(), key->mapToGlobal(QPoint()).x()) << "Right moves to the right";
    press(Qt::Key_Space);
    EXPECT_TRUE(next->IsSelected());
    press(Qt::Key_Tab);
    EXPECT_EQ(qobject_cast<CDeviceKeyButtonUI*>(focused()), nullptr) << "one Tab leaves the key picture";

    // The assignment: choose one, apply, write to the keyboard.
    CControlUI* action = wnd->FindControl("keyset_function_combo");
    if (!action || !action->isVisible() || !wnd->FindControl("key_butt_keysave") ||
        !wnd->FindControl("key_butt_prosave"))
        FAIL() << "the key assignment page shows no Action combo with a key chosen";
    const std::string assignedBefore = vdev.state()[0]["firmware"]["assignments"].asString();
    ASSERT_NE(tabToName("keyset_function_combo"), nullptr);
    press(Qt::Key_Down);
    if (!waitUntil([&] { return wnd->FindControl("key_butt_keysave")->isEnabled(); }, 3000))
        FAIL() << "the key assignment page does not take an assignment: Apply stays disabled";
    ASSERT_NE(tabToName("key_butt_keysave"), nullptr);
    press(Qt::Key_Return);
    ASSERT_NE(tabToName("key_butt_prosave"), nullptr);
    press(Qt::Key_Return);
    EXPECT_TRUE(
        waitUntil([&] { return vdev.state()[0]["firmware"]["assignments"].asString() != assignedBefore; }, 15000))
        << "the assignment did not reach the keyboard";
}

TEST_F(KeyboardOnly, EscClosesTheSettingsWindowAndNotTheMainWindow) {
    openWithKeyboard();
    press(Qt::Key_Escape);
    QTest::qWait(50);
    EXPECT_TRUE(wnd->isVisible()) << "Esc leaves the main window alone";

    ASSERT_NE(tabToName("setbtn"), nullptr);
    press(Qt::Key_Space);
    QWidget* settings = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        settings = QApplication::activeWindow();
        return settings && settings != wnd.get() && settings->isVisible();
    })) << "Space on the settings button opens no active window";
    press(Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([&] { return !settings || !settings->isVisible(); })) << "Esc does not close it";
    EXPECT_TRUE(wnd->isVisible());
}
