// The toolkit as a screen reader and a keyboard user meet it: roles, names, states,
// values and actions through Qt's accessibility interfaces, and the keys that operate
// each control, move the focus and show it.
#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

#include "tests/support/QtTestSupport.h"
#include "ui/Accessibility.h"
#include "ui/CComboUI.h"
#include "ui/CControlFactory.h"
#include "ui/CDeviceKeyButtonUI.h"
#include "ui/CDialogBuilder.h"
#include "ui/CEditUI.h"
#include "ui/CListUI.h"
#include "ui/CMsgWnd.h"
#include "ui/COptionUI.h"
#include "ui/CPaintManagerUI.h"
#include "ui/CProgressUI.h"
#include "ui/CResourceManager.h"
#include "ui/CSelectPanelUI.h"
#include "ui/WindowMessages.h"

using namespace talyx;
using talyx::test::waitUntil;

namespace {

struct Recorder : INotifyUI {
    QStringList entries; // "type sender"
    void Notify(TNotifyUI& msg) override {
        entries << msg.sType + QLatin1Char(' ') + (msg.pSender ? msg.pSender->GetName() : QString());
    }
    int count(const QString& entry) const { return static_cast<int>(entries.count(entry)); }
};

// A control that only knows the mouse, as the program's own item classes do.
class CClickOnlyUI : public CControlUI {
public:
    QString GetClass() const override { return QStringLiteral("ClickOnlyUI"); }
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

struct Callback : IDialogBuilderCallback {
    CControlUI* CreateControl(const QString& className) override {
        return className == QLatin1String("ClickOnly") ? new CClickOnlyUI : nullptr;
    }
};

const char* kLayout = R"(<VerticalLayout name="root">
  <HorizontalLayout height="30">
    <Button name="ok" text="OK" width="60"/>
    <Button name="icon" tooltip="Open the settings" width="30"/>
    <Button name="state" text="on-state" showtext="false" tooltip="Let the program drive the lights" width="30"/>
    <Button name="gone" text="Hidden" visible="false" width="30"/>
    <Button name="off" text="Disabled" enabled="false" width="30"/>
    <Option name="fx_left" group="fx" text="Left" selected="true" width="50"/>
    <Option name="fx_right" group="fx" text="Right" width="50"/>
    <Option name="toggle" text="Sync" width="50"/>
    <CheckBox name="check" text="Cycle" width="50"/>
  </HorizontalLayout>
  <HorizontalLayout name="tabs" role="tablist" height="30">
    <Option name="tab_a" group="page" role="tab" text="Keys" selected="true" width="50"/>
    <Option name="tab_b" group="page" role="tab" text="Lighting" width="50"/>
    <ClickOnly name="device_item" role="tab" text="Keyboard" width="80"/>
  </HorizontalLayout>
  <HorizontalLayout height="30">
    <Label name="bright_label" text="Brightness" width="80"/>
    <Slider name="bright" min="0" max="4" value="2" step="1"/>
    <Label name="red_label" text="R" width="20"/>
    <Edit name="red" text="12" width="40"/>
    <Progress name="level" nameid="update_progress_name" value="30" width="60"/>
  </HorizontalLayout>
  <HorizontalLayout height="30">
    <Label name="mode_label" text="Effect" width="60"/>
    <Combo name="mode">
      <ListLabelElement text="Static"/>
      <ListLabelElement text="Secret"/>
      <ListLabelElement text="Breathing"/>
    </Combo>
  </HorizontalLayout>
  <List name="macros" tooltip="Macros" height="90">
    <ListContainerElement name="row0" height="24"><Label text="Copy"/><Label text="3 actions"/></ListContainerElement>
    <ListContainerElement name="row1" height="24" visible="false"><Label text="Hidden row"/></ListContainerElement>
    <ListContainerElement name="row2" height="24"><Label text="Paste"/></ListContainerElement>
  </List>
</VerticalLayout>)";

class Accessible : public ::testing::Test {
protected:
    void SetUp() override {
        CPaintManagerUI::SetInstancePath(QString());
        ASSERT_TRUE(CResourceManager::GetInstance().LoadLanguage(QStringLiteral("lan_en.xml")));
        CDialogBuilder builder;
        root.reset(builder.CreateFromText(QString::fromLatin1(kLayout), &callback, &manager));
        ASSERT_NE(root, nullptr);
        manager.AttachDialog(root.get());
        manager.AddNotifier(&rec);
        root->resize(700, 260);
        root->show();
        qobject_cast<CComboUI*>(find("mode"))->SetItemHidden(1, true);
    }
    void TearDown() override {
        manager.RemoveNotifier(&rec);
        root.reset();
    }
    CControlUI* find(const char* name) const { return manager.FindControl(QString::fromLatin1(name)); }
    QAccessibleInterface* a11y(const char* name) const { return QAccessible::queryAccessibleInterface(find(name)); }
    QString nameOf(const char* name) const { return a11y(name)->text(QAccessible::Name); }
    void activate() {
        root->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(root.get()));
    }
    static void key(int k) { QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(k)); }

    Callback callback;
    CPaintManagerUI manager;
    Recorder rec;
    std::unique_ptr<CControlUI> root;
};

} // namespace

TEST_F(Accessible, EachControlReportsTheRoleItIsAndANameAUserWouldRead) {
    const struct {
        const char* control;
        QAccessible::Role role;
        const char* name;
    } expected[] = {
        {"ok", QAccessible::Button, "OK"},
        {"icon", QAccessible::Button, "Open the settings"},                 // no text: the tool tip
        {"state", QAccessible::Button, "Let the program drive the lights"}, // a text it does not show is no name
        {"fx_left", QAccessible::RadioButton, "Left"},
        {"toggle", QAccessible::Button, "Sync"},
        {"check", QAccessible::CheckBox, "Cycle"},
        {"tabs", QAccessible::PageTabList, ""},
        {"tab_b", QAccessible::PageTab, "Lighting"},
        {"device_item", QAccessible::PageTab, "Keyboard"},
        {"bright", QAccessible::Slider, "Brightness"},            // the label before it
        {"level", QAccessible::ProgressBar, "Download progress"}, // its "nameid"
        {"mode", QAccessible::ComboBox, "Effect"},                // not its current row
        {"macros", QAccessible::List, "Macros"},
        {"row0", QAccessible::ListItem, "Copy 3 actions"}, // the texts it holds
        {"bright_label", QAccessible::StaticText, "Brightness"},
        {"root", QAccessible::Grouping, ""}, // layouts take no label's name
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.control);
        ASSERT_NE(a11y(e.control), nullptr);
        EXPECT_EQ(a11y(e.control)->role(), e.role);
        EXPECT_EQ(nameOf(e.control).toStdString(), e.name);
    }
    // The edit's line carries the name of the label before it, and its text as the value.
    auto* red = qobject_cast<CEditUI*>(find("red"));
    QAccessibleInterface* line = QAccessible::queryAccessibleInterface(red->LineEdit());
    EXPECT_EQ(line->role(), QAccessible::EditableText);
    EXPECT_EQ(line->text(QAccessible::Name), "R");
    EXPECT_EQ(line->text(QAccessible::Value), "12");

    // States: options are checkable and say whether they are chosen; hidden and disabled
    // controls say so.
    EXPECT_TRUE(a11y("fx_left")->state().checked);
    EXPECT_FALSE(a11y("fx_right")->state().checked);
    EXPECT_TRUE(a11y("toggle")->state().checkable);
    EXPECT_TRUE(a11y("tab_a")->state().selected);
    EXPECT_TRUE(a11y("gone")->state().invisible);
    EXPECT_TRUE(a11y("off")->state().disabled);

    // Values: slider and progress with their bounds; the combo's value is its row's text.
    QAccessibleValueInterface* slider = a11y("bright")->valueInterface();
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->currentValue().toInt(), 2);
    EXPECT_EQ(slider->maximumValue().toInt(), 4);
    EXPECT_EQ(a11y("level")->valueInterface()->currentValue().toInt(), 30);
    qobject_cast<CComboUI*>(find("mode"))->SelectItem(2, false, false);
    EXPECT_EQ(a11y("mode")->text(QAccessible::Value), "Breathing");

    // Children: a combo offers its shown rows only; a list leaves out its hidden rows; a
    // hidden button is not among its layout's children.
    QAccessibleInterface* mode = a11y("mode");
    ASSERT_EQ(mode->childCount(), 2);
    EXPECT_EQ(mode->child(0)->text(QAccessible::Name), "Static");
    EXPECT_EQ(mode->child(1)->text(QAccessible::Name), "Breathing");
    EXPECT_TRUE(mode->child(1)->state().selected);
    EXPECT_EQ(mode->indexOfChild(mode->child(1)), 1);
    QAccessibleInterface* list = a11y("macros");
    ASSERT_EQ(list->childCount(), 2) << "the rows, not the area that scrolls them";
    EXPECT_EQ(list->child(1)->text(QAccessible::Name), "Paste");
    EXPECT_EQ(list->child(1)->parent()->object(), find("macros"));
    EXPECT_EQ(list->indexOfChild(list->child(1)), 1);
    QAccessibleInterface* bar = a11y("ok")->parent();
    for (int i = 0; i < bar->childCount(); ++i)
        EXPECT_NE(bar->child(i)->object(), find("gone"));
}

TEST_F(Accessible, ActionsAndValuesActAsTheUserWouldAndRespectDisabledControls) {
    a11y("ok")->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(rec.count("click ok"), 1);
    a11y("off")->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(rec.count("click off"), 0) << "a disabled button is not pressed";

    a11y("fx_right")->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(qobject_cast<COptionUI*>(find("fx_right"))->IsSelected());
    EXPECT_FALSE(qobject_cast<COptionUI*>(find("fx_left"))->IsSelected()) << "one of a group";
    EXPECT_EQ(rec.count("selectchanged fx_right"), 1);

    // The click-only item gets a click.
    a11y("device_item")->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(static_cast<CClickOnlyUI*>(find("device_item"))->presses, 1);

    // A value set through the slider is kept in bounds and raises "valuechanged" once per change.
    QAccessibleValueInterface* slider = a11y("bright")->valueInterface();
    slider->setCurrentValue(9);
    EXPECT_EQ(qobject_cast<CSliderUI*>(find("bright"))->GetValue(), 4);
    slider->setCurrentValue(4);
    EXPECT_EQ(rec.count("valuechanged bright"), 1) << "no change, no notification";
    a11y("bright")->actionInterface()->doAction(QAccessibleActionInterface::decreaseAction());
    EXPECT_EQ(qobject_cast<CSliderUI*>(find("bright"))->GetValue(), 3);
    a11y("level")->valueInterface()->setCurrentValue(80);
    EXPECT_EQ(qobject_cast<CProgressUI*>(find("level"))->GetValue(), 30) << "a progress bar is only read";

    // A combo row chosen by its action is the user's choice.
    auto* mode = qobject_cast<CComboUI*>(find("mode"));
    a11y("mode")->child(1)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(mode->GetCurSel(), 2);
    EXPECT_EQ(rec.count("itemselect mode"), 1);
    // A list row: selected, as a click would.
    auto* macros = qobject_cast<CListUI*>(find("macros"));
    QAccessible::queryAccessibleInterface(find("row2"))
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(macros->GetCurSel(), 2);
    EXPECT_EQ(rec.count("itemselect macros"), 1);
    EXPECT_EQ(rec.count("itemclick row2"), 1);
}

TEST_F(Accessible, KeysOperateEachControlAsTheMouseWould) {
    activate();
    find("ok")->setFocus(Qt::TabFocusReason);
    key(Qt::Key_Space);
    key(Qt::Key_Return);
    EXPECT_EQ(rec.count("click ok"), 2);

    // Arrows in an option group choose the next option, wrapping, and take the focus along.
    find("fx_left")->setFocus(Qt::TabFocusReason);
    key(Qt::Key_Right);
    EXPECT_TRUE(qobject_cast<COptionUI*>(find("fx_right"))->IsSelected());
    EXPECT_EQ(QApplication::focusWidget(), find("fx_right"));
    key(Qt::Key_Right);
    EXPECT_TRUE(qobject_cast<COptionUI*>(find("fx_left"))->IsSelected());
    find("toggle")->setFocus(Qt::TabFocusReason);
    key(Qt::Key_Space);
    EXPECT_TRUE(qobject_cast<COptionUI*>(find("toggle"))->IsSelected());
    find("device_item")->setFocus(Qt::TabFocusReason);
    key(Qt::Key_Enter);
    EXPECT_EQ(static_cast<CClickOnlyUI*>(find("device_item"))->presses, 1);

    // The slider: steps, ends and pages; one "valuechanged" per change.
    auto* bright = qobject_cast<CSliderUI*>(find("bright"));
    bright->setFocus(Qt::TabFocusReason);
    key(Qt::Key_Left);
    EXPECT_EQ(bright->GetValue(), 1);
    key(Qt::Key_Home);
    key(Qt::Key_Down);
    EXPECT_EQ(bright->GetValue(), 0) << "stays at the lowest";
    key(Qt::Key_End);
    EXPECT_EQ(bright->GetValue(), 4);
    key(Qt::Key_PageDown);
    EXPECT_EQ(bright->GetValue(), 3);
    EXPECT_EQ(rec.count("valuechanged bright"), 4);

    // The combo: Down steps over the hidden row; Up at the top stays.
    auto* mode = qobject_cast<CComboUI*>(find("mode"));
    mode->SelectItem(0, false, false);
    mode->setFocus(Qt::TabFocusReason);
    key(Qt::Key_Down);
    EXPECT_EQ(mode->GetCurSel(), 2);
    key(Qt::Key_Down);
    EXPECT_EQ(mode->GetCurSel(), 2);
    key(Qt::Key_Home);
    key(Qt::Key_Up);
    EXPECT_EQ(mode->GetCurSel(), 0);
    EXPECT_EQ(rec.count("itemselect mode"), 2);

    // The list: Down over the hidden row, End, Enter activates.
    auto* macros = qobject_cast<CListUI*>(find("macros"));
    macros->setFocus(Qt::TabFocusReason);
    key(Qt::Key_Down);
    EXPECT_EQ(macros->GetCurSel(), 0);
    key(Qt::Key_Down);
    EXPECT_EQ(macros->GetCurSel(), 2);
    key(Qt::Key_Home);
    EXPECT_EQ(macros->GetCurSel(), 0);
    key(Qt::Key_Return);
    EXPECT_EQ(rec.count("itemactivate row0"), 1);
    EXPECT_EQ(rec.count("itemclick row2"), 1);
}

TEST_F(Accessible, TabWalksTheShownControlsInLayoutOrderAndARingShowsTheKeyboardFocus) {
    activate();
    find("ok")->setFocus(Qt::MouseFocusReason);
    QStringList order;
    for (int i = 0; i < 14; ++i) {
        QWidget* w = QApplication::focusWidget();
        while (w && !qobject_cast<CControlUI*>(w))
            w = w->parentWidget();
        order << (w ? w->objectName() : QStringLiteral("?"));
        key(Qt::Key_Tab);
    }
    EXPECT_EQ(order.join(' ').toStdString(), "ok icon state fx_left fx_right toggle check tab_a tab_b device_item "
                                             "bright red mode macros");

    // The ring: around the focused control after a key, gone after a click.
    QWidget* ring = nullptr;
    for (QWidget* w : root->findChildren<QWidget*>(QStringLiteral("focus_frame")))
        ring = w->isVisible() ? w : ring;
    ASSERT_NE(ring, nullptr) << "no focus ring after Tab";
    CControlUI* focused = find("ok");
    EXPECT_EQ(QApplication::focusWidget(), focused) << "Tab wraps round";
    EXPECT_TRUE(ring->geometry().contains(focused->geometry())) << "the ring surrounds the focused control";
    EXPECT_TRUE(KeyboardFocusShown());
    QTest::mouseClick(find("icon"), Qt::LeftButton);
    EXPECT_FALSE(KeyboardFocusShown());
    EXPECT_FALSE(ring->isVisible());
}

TEST(AccessibleKeys, ArrowsMoveBetweenKeysOfAPanelAndTabLeavesIt) {
    CControlFactory::GetInstance().RegistControl("CSelectPanelUI", [] { return new CSelectPanelUI; });
    CControlFactory::GetInstance().RegistControl("CDeviceKeyButtonUI", [] { return new CDeviceKeyButtonUI; });
    CPaintManagerUI manager;
    CDialogBuilder builder;
    std::unique_ptr<CControlUI> root(builder.CreateFromText(R"(<VerticalLayout>
      <Button name="before" text="Before" height="30"/>
      <SelectPanel name="panel" height="100">
        <DeviceKeyButton name="q" text="Q" float="true" pos="0,0,30,30"/>
        <DeviceKeyButton name="w" text="W" float="true" pos="40,0,70,30"/>
        <DeviceKeyButton name="e" text="E" float="true" pos="80,0,110,30"/>
        <DeviceKeyButton name="a" text="A" float="true" pos="10,40,40,70"/>
        <DeviceKeyButton name="space" nameid="no_such_key" float="true" pos="0,80,110,100"/>
      </SelectPanel>
      <Button name="after" text="After" height="30"/>
    </VerticalLayout>)",
                                                            nullptr, &manager));
    ASSERT_NE(root, nullptr);
    manager.AttachDialog(root.get());
    root->resize(200, 200);
    root->show();
    root->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(root.get()));
    const auto focusName = [] { return QApplication::focusWidget()->objectName().toStdString(); };
    const auto press = [](int k) { QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(k)); };

    EXPECT_EQ(QAccessible::queryAccessibleInterface(manager.FindControl("w"))->text(QAccessible::Name), "W")
        << "a key is named by its caption";
    manager.FindControl("before")->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Tab);
    EXPECT_EQ(focusName(), "q");
    press(Qt::Key_Right);
    EXPECT_EQ(focusName(), "w");
    press(Qt::Key_Right);
    press(Qt::Key_Right);
    EXPECT_EQ(focusName(), "e") << "the last key of a row stays";
    press(Qt::Key_Down);
    EXPECT_EQ(focusName(), "space") << "the wide key under it";
    press(Qt::Key_Down);
    EXPECT_EQ(focusName(), "space") << "nothing below the bottom row";
    press(Qt::Key_Left);
    EXPECT_EQ(focusName(), "space") << "nothing in line to the left";
    press(Qt::Key_Up);
    EXPECT_EQ(focusName(), "a") << "the nearest key above";
    press(Qt::Key_Up);
    EXPECT_EQ(focusName(), "q") << "the key whose span covers it";
    press(Qt::Key_Down);
    press(Qt::Key_Space);
    EXPECT_TRUE(qobject_cast<CDeviceKeyButtonUI*>(manager.FindControl("a"))->IsSelected());
    press(Qt::Key_Tab);
    EXPECT_EQ(focusName(), "after") << "one Tab leaves the panel";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_NE(focusName(), "after");
    EXPECT_TRUE(manager.FindControl("panel")->isAncestorOf(QApplication::focusWidget())) << "Shift+Tab comes back";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(focusName(), "before");
}

TEST(AccessibleKeys, EscClosesAMessageBoxAsACancel) {
    CPaintManagerUI::SetInstancePath(QString());
    CPaintManagerUI::SetResourcePath(CPaintManagerUI::GetInstancePath() + QStringLiteral("skin"));
    ASSERT_TRUE(CResourceManager::GetInstance().LoadLanguage(QStringLiteral("lan_en.xml")));
    QWidget owner;
    owner.show();
    int closedBy = -1;
    // While the box waits for an answer, Esc goes to whatever has the keyboard in it.
    QTimer::singleShot(0, [&] {
        waitUntil([] { return QApplication::activeWindow() && QApplication::activeWindow()->isVisible(); });
        QWidget* box = QApplication::activeWindow();
        QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Escape);
        closedBy = 0;
    });
    const int answer = CMsgWnd::MessageBox(&owner, QStringLiteral("message_text_4"), CMsgWnd::kOkCancel);
    EXPECT_EQ(closedBy, 0) << "the box closed before Esc";
    EXPECT_EQ(answer, IDCANCEL) << "closing without a choice is no OK";
    CPaintManagerUI::SetResourcePath(QString());
}
