// The toolkit contract: building layouts, finding controls, notifications, timers,
// languages and the test seams of the message window, file dialogs and menus.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

#include "platform/MessageTarget.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/TestSupport.h"
#include "ui/CComboUI.h"
#include "ui/CContainerUI.h"
#include "ui/CControlFactory.h"
#include "ui/CDialogBuilder.h"
#include "ui/CEditUI.h"
#include "ui/CMenuWnd.h"
#include "ui/CMsgWnd.h"
#include "ui/COptionUI.h"
#include "ui/CPaintManagerUI.h"
#include "ui/CProgressUI.h"
#include "ui/CResourceManager.h"
#include "ui/FileDialog.h"
#include "ui/WindowMessages.h"

using namespace talyx;
using talyx::test::ScratchDir;
using talyx::test::waitUntil;

namespace {

void writeFile(const QString& path, const QString& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.toUtf8());
}

// Records every notification it gets, in order.
struct Recorder : INotifyUI {
    struct Entry {
        QString type;
        QString sender;
        WPARAM wParam;
        LPARAM lParam;
        bool onGuiThread;
    };
    QList<Entry> entries;
    void Notify(TNotifyUI& msg) override {
        entries.append({msg.sType, msg.pSender ? msg.pSender->GetName() : QString(), msg.wParam, msg.lParam,
                        QThread::currentThread() == qApp->thread()});
    }
    int count(const QString& type, const QString& sender = QString()) const {
        int n = 0;
        for (const auto& e : entries)
            n += e.type == type && (sender.isEmpty() || e.sender == sender) ? 1 : 0;
        return n;
    }
};

// A control class of the program, created through the builder's callback.
class CGaugeUI : public CControlUI {
public:
    QString GetClass() const override { return QStringLiteral("GaugeUI"); }
    void SetAttribute(const QString& name, const QString& value) override {
        if (name == QLatin1String("level"))
            level = value.toInt();
        else
            CControlUI::SetAttribute(name, value);
    }
    int level = 0;
};

// The builder callback of a window: its own classes and sub-layouts by tag.
struct Callback : IDialogBuilderCallback {
    CPaintManagerUI* manager = nullptr;
    QStringList asked;
    CControlUI* CreateControl(const QString& className) override {
        asked.append(className);
        if (className.compare(QLatin1String("Gauge"), Qt::CaseInsensitive) == 0)
            return new CGaugeUI;
        if (className == QLatin1String("PanelSetControlUI")) {
            CDialogBuilder sub;
            return sub.Create(QStringLiteral("XML\\CustomControlXML\\Panel.xml"), this, manager);
        }
        return nullptr;
    }
};

class SkinFixture : public ::testing::Test {
protected:
    void SetUp() override {
        CPaintManagerUI::SetInstancePath(QString::fromStdString(dir.path()));
        CPaintManagerUI::SetResourcePath(QString::fromStdString(dir.path()) + "/skin");
        skin = QString::fromStdString(dir.path()) + "/skin/";
        root.reset();
    }
    void TearDown() override {
        root.reset();
        CPaintManagerUI::SetResourcePath(QString());
        CPaintManagerUI::SetInstancePath(QString());
    }
    CControlUI* build(const QString& xml, IDialogBuilderCallback* cb = nullptr) {
        CDialogBuilder builder;
        CControlUI* c = builder.CreateFromText(xml, cb, &manager);
        if (c) {
            root.reset(c);
            manager.AttachDialog(c);
            c->resize(400, 300);
            c->show();
        }
        return c;
    }
    ScratchDir dir;
    QString skin;
    CPaintManagerUI manager;
    std::unique_ptr<CControlUI> root;
};

} // namespace

TEST_F(SkinFixture, BuilderMakesOwnClassesThroughTheCallbackAndSubLayouts) {
    writeFile(skin + "XML/CustomControlXML/Panel.xml",
              "<VerticalLayout name=\"panel_root\"><Button name=\"panel_ok\" text=\"OK\"/>"
              "<Gauge name=\"panel_gauge\" level=\"7\"/></VerticalLayout>");
    Callback cb;
    cb.manager = &manager;
    CControlUI* top = build("<Window size=\"640,480\"><VerticalLayout name=\"root\">"
                            "<Gauge name=\"gauge\" level=\"3\"/>"
                            "<PanelSetControlUI name=\"panel\" height=\"60\"/>"
                            "<Mystery name=\"unknown\"/>"
                            "<Label name=\"after\" text=\"still built\"/>"
                            "</VerticalLayout></Window>",
                            &cb);
    ASSERT_NE(top, nullptr);
    auto* gauge = dynamic_cast<CGaugeUI*>(manager.FindControl("gauge"));
    ASSERT_NE(gauge, nullptr);
    EXPECT_EQ(gauge->level, 3);
    // The sub-layout took the name the outer layout gave it, and keeps its own controls.
    CControlUI* panel = manager.FindControl("panel");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->GetFixedHeight(), 60);
    EXPECT_NE(CPaintManagerUI::FindSubControlByName(panel, "panel_ok"), nullptr);
    EXPECT_EQ(dynamic_cast<CGaugeUI*>(manager.FindControl("panel_gauge"))->level, 7);
    EXPECT_EQ(manager.FindControl("unknown"), nullptr) << "a tag nobody knows is skipped";
    EXPECT_EQ(manager.FindControl("after")->GetText(), "still built");
    EXPECT_TRUE(cb.asked.contains("Mystery"));
    EXPECT_FALSE(cb.asked.contains("Button")) << "the toolkit's own tags never reach the callback";
}

TEST_F(SkinFixture, FactoryClassesResourceNamesAndIncludes) {
    CControlFactory::GetInstance().RegistControl("CTestDialUI", [] { return new CProgressUI; });
    writeFile(skin + "res.xml", "<Resources><Layout name=\"XML_TEST\" file=\"XML/test.xml\"/></Resources>");
    writeFile(skin + "XML/row.xml", "<HorizontalLayout name=\"row\" height=\"20\"/>");
    writeFile(skin + "XML/test.xml",
              "<Window size=\"300,200\" caption=\"0,0,0,30\"><VerticalLayout name=\"top\">"
              "<TestDial name=\"dial\" max=\"10\" value=\"4\"/><Include source=\"XML/row.xml\" count=\"2\"/>"
              "</VerticalLayout></Window>");
    ASSERT_TRUE(CResourceManager::GetInstance().LoadResource("res.xml"));
    CDialogBuilder builder;
    std::unique_ptr<CControlUI> top(builder.Create("XML_TEST", nullptr, &manager));
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(builder.GetWindowSize(), QSize(300, 200));
    auto* dial = qobject_cast<CProgressUI*>(top->FindSubControl("dial"));
    ASSERT_NE(dial, nullptr) << "\"TestDial\" found as the registered class CTestDialUI";
    EXPECT_EQ(dial->GetValue(), 4);
    EXPECT_EQ(qobject_cast<CContainerUI*>(top.get())->GetCount(), 3);
    CDialogBuilder missing;
    EXPECT_EQ(missing.Create("XML/none.xml", nullptr, &manager), nullptr);
    EXPECT_EQ(missing.CreateFromText("<VerticalLayout><Button></VerticalLayout>", nullptr, &manager), nullptr);
}

TEST_F(SkinFixture, VerticalLayoutGivesFixedSizesFirstAndSharesTheRest) {
    build("<VerticalLayout name=\"v\" inset=\"10,10,10,10\" childpadding=\"5\">"
          "<Control name=\"a\" height=\"40\"/><Control name=\"b\"/><Control name=\"c\"/>"
          "<Control name=\"d\" width=\"50\" height=\"20\"/>"
          "<Control name=\"f\" float=\"true\" pos=\"5,6,25,16\"/></VerticalLayout>");
    root->resize(200, 300);
    const QRect a = manager.FindControl("a")->geometry();
    const QRect b = manager.FindControl("b")->geometry();
    const QRect c = manager.FindControl("c")->geometry();
    const QRect d = manager.FindControl("d")->geometry();
    EXPECT_EQ(a, QRect(10, 10, 180, 40));
    // 280 high inside, 40 + 20 fixed and three gaps of 5: 205 left for b and c.
    EXPECT_EQ(b.top(), 55);
    EXPECT_EQ(b.height() + c.height(), 205);
    EXPECT_EQ(d, QRect(10, 270, 50, 20));
    EXPECT_EQ(manager.FindControl("f")->geometry(), QRect(5, 6, 20, 10));

    manager.FindControl("b")->SetVisible(false);
    EXPECT_EQ(manager.FindControl("c")->geometry().height(), 210) << "a hidden control gives its room to the others";

    manager.SetDPI(144);
    root->resize(300, 450);
    EXPECT_EQ(manager.FindControl("a")->geometry(), QRect(15, 15, 270, 60)) << "sizes scale with the DPI";
}

TEST_F(SkinFixture, TabLayoutShowsTheSelectedPageWhileItIsBuiltAndAfterInsertions) {
    build("<TabLayout name=\"t\" selectedid=\"2\"><Control name=\"p0\"/><Control name=\"p1\"/>"
          "<Control name=\"p2\"/></TabLayout>");
    auto* tab = qobject_cast<CTabLayoutUI*>(manager.FindControl("t"));
    EXPECT_EQ(tab->GetCurSel(), 2);
    EXPECT_TRUE(manager.FindControl("p2")->IsVisible());
    EXPECT_FALSE(manager.FindControl("p0")->IsVisible());
    auto* front = new CControlUI;
    tab->AddAt(front, 0);
    EXPECT_EQ(tab->GetCurSel(), 3) << "an insertion before the shown page keeps it shown";
    EXPECT_TRUE(manager.FindControl("p2")->IsVisible());
    EXPECT_FALSE(front->IsVisible());
}

TEST_F(SkinFixture, ClicksReachNotifyWithTheirSenderAndOptionsSelectInGroups) {
    Recorder rec;
    manager.AddNotifier(&rec);
    build("<VerticalLayout><Button name=\"go\" height=\"30\"/>"
          "<Option name=\"o1\" group=\"g\" height=\"30\" selected=\"true\"/><Option name=\"o2\" group=\"g\" "
          "height=\"30\"/>"
          "<CheckBox name=\"chk\" height=\"30\"/><Button name=\"off\" height=\"30\" enabled=\"false\"/>"
          "</VerticalLayout>");
    QTest::mouseClick(manager.FindControl("go"), Qt::LeftButton);
    EXPECT_EQ(rec.count("click", "go"), 1);
    QTest::mouseClick(manager.FindControl("o2"), Qt::LeftButton);
    EXPECT_TRUE(qobject_cast<COptionUI*>(manager.FindControl("o2"))->IsSelected());
    EXPECT_FALSE(qobject_cast<COptionUI*>(manager.FindControl("o1"))->IsSelected());
    EXPECT_EQ(rec.count("selectchanged", "o1"), 1);
    EXPECT_EQ(rec.count("selectchanged", "o2"), 1);
    QTest::mouseClick(manager.FindControl("o2"), Qt::LeftButton);
    EXPECT_TRUE(qobject_cast<COptionUI*>(manager.FindControl("o2"))->IsSelected()) << "a group option stays selected";
    QTest::mouseClick(manager.FindControl("chk"), Qt::LeftButton);
    QTest::mouseClick(manager.FindControl("chk"), Qt::LeftButton);
    EXPECT_EQ(rec.count("selectchanged", "chk"), 2);
    QTest::mouseClick(manager.FindControl("off"), Qt::LeftButton);
    EXPECT_EQ(rec.count("click", "off"), 0) << "a disabled button does not click";
    manager.RemoveNotifier(&rec);
}

TEST_F(SkinFixture, ComboAndSliderNotifyOnlyWhenAsked) {
    Recorder rec;
    manager.AddNotifier(&rec);
    build("<VerticalLayout><Combo name=\"combo\" height=\"30\">"
          "<ListLabelElement text=\"125 Hz\" userdata=\"0\"/><ListLabelElement text=\"1000 Hz\" userdata=\"3\"/>"
          "</Combo><Slider name=\"bright\" height=\"20\" min=\"0\" max=\"4\"/><Edit name=\"num\" height=\"30\" "
          "numberonly=\"true\" minvalue=\"1\" maxvalue=\"50\" maxchar=\"3\"/></VerticalLayout>");
    auto* combo = qobject_cast<CComboUI*>(manager.FindControl("combo"));
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->GetCount(), 2);
    combo->SelectItem(1, false, false);
    EXPECT_EQ(combo->GetCurSel(), 1);
    EXPECT_EQ(combo->GetText(), "1000 Hz");
    EXPECT_EQ(rec.count("itemselect"), 0);
    combo->SelectItem(0);
    ASSERT_EQ(rec.count("itemselect", "combo"), 1);
    EXPECT_EQ(rec.entries.last().wParam, 0u);
    EXPECT_EQ(rec.entries.last().lParam, 1);

    // A hidden row keeps its index, is still chosen from code, and the keyboard steps over it;
    // removing a row before it moves the hidden mark with it.
    combo->AddItem("500 Hz", "2");
    combo->SetItemHidden(1, true);
    EXPECT_TRUE(combo->IsItemHidden(1));
    EXPECT_FALSE(combo->IsItemHidden(7)) << "an index out of range is simply not hidden";
    combo->SetItemHidden(7, true);
    combo->Box()->setFocus();
    QTest::keyClick(combo->Box(), Qt::Key_Down);
    EXPECT_EQ(combo->GetCurSel(), 2) << "the arrow key skips the hidden row";
    EXPECT_TRUE(combo->SelectItem(1, false, false));
    EXPECT_EQ(combo->GetText(), "1000 Hz");
    combo->Remove(combo->GetItemAt(0));
    EXPECT_TRUE(combo->IsItemHidden(0));
    EXPECT_FALSE(combo->IsItemHidden(1));
    combo->Remove(combo->GetItemAt(1));
    combo->AddItem("125 Hz", "0");
    combo->SelectItem(1, false, false);
    rec.entries.clear();

    auto* slider = qobject_cast<CSliderUI*>(manager.FindControl("bright"));
    slider->SetValue(9);
    EXPECT_EQ(slider->GetValue(), 4) << "kept inside its bounds";
    slider->SetMaxValue(2);
    EXPECT_EQ(slider->GetValue(), 2);
    EXPECT_EQ(rec.count("valuechanged"), 0) << "setting from code raises nothing";
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(2, 10));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(2, 10));
    EXPECT_EQ(slider->GetValue(), 0);
    EXPECT_EQ(rec.count("valuechanged", "bright"), 1);

    auto* edit = qobject_cast<CEditUI*>(manager.FindControl("num"));
    EXPECT_EQ(edit->GetMaxChar(), 3);
    edit->LineEdit()->setFocus();
    QTest::keyClicks(edit->LineEdit(), "9a9");
    EXPECT_EQ(edit->GetText(), "99") << "number-only refuses letters";
    QTest::keyClick(edit->LineEdit(), Qt::Key_Return);
    EXPECT_EQ(edit->GetText(), "50") << "brought into its range when editing ends";
    EXPECT_GE(rec.count("textchanged", "num"), 2);
    EXPECT_EQ(rec.count("return", "num"), 1);
    manager.RemoveNotifier(&rec);
}

TEST_F(SkinFixture, AnEmptyEditShowsItsWholePromptInASmallerFontAndTypedTextInItsOwn) {
    manager.AddFont(7, "DejaVu Sans", 14, false, false, false, false);
    build("<HorizontalLayout><Edit name=\"e\" width=\"170\" font=\"7\" "
          "prompttext=\"Hold a key down here to try it and see it repeat\"/></HorizontalLayout>");
    auto* edit = qobject_cast<CEditUI*>(manager.FindControl("e"));
    ASSERT_NE(edit, nullptr);
    QLineEdit* line = edit->LineEdit();
    const QFont own = manager.GetFont(7);
    ASSERT_GT(QFontMetrics(own).horizontalAdvance(line->placeholderText()), line->width())
        << "the prompt does not fit at the box's own size";
    const QFont prompt = line->font();
    EXPECT_LT(prompt.pixelSize(), own.pixelSize());
    EXPECT_TRUE(prompt.pixelSize() == 9 ||
                QFontMetrics(prompt).horizontalAdvance(line->placeholderText()) <= line->width() - 8);
    line->setText("a");
    EXPECT_EQ(line->font().pixelSize(), own.pixelSize()) << "typed text comes in the box's own font";
    line->clear();
    EXPECT_EQ(line->font().pixelSize(), prompt.pixelSize());
}

TEST_F(SkinFixture, ControlTimersFireOnTheWindowThreadFromAnyThreadAndStopWhenKilled) {
    Recorder rec;
    manager.AddNotifier(&rec);
    build("<VerticalLayout><Control name=\"item\"/></VerticalLayout>");
    CControlUI* item = manager.FindControl("item");
    std::thread worker([&] { manager.SetTimer(item, 1002, 20); });
    worker.join();
    ASSERT_TRUE(waitUntil([&] { return rec.count("timer", "item") >= 2; }));
    for (const auto& e : rec.entries)
        if (e.type == "timer") {
            EXPECT_EQ(e.wParam, 1002u);
            EXPECT_TRUE(e.onGuiThread);
        }
    EXPECT_TRUE(manager.HasTimer(item, 1002));
    EXPECT_TRUE(manager.KillTimer(item, 1002));
    const int seen = rec.count("timer");
    QTest::qWait(80);
    EXPECT_EQ(rec.count("timer"), seen);
    EXPECT_FALSE(manager.KillTimer(item, 1002));

    // A timer of a control that goes away dies with it.
    manager.SetTimer(item, 7, 10);
    delete item;
    QTest::qWait(40);
    EXPECT_EQ(rec.count("timer"), seen);
    manager.RemoveNotifier(&rec);
}

TEST_F(SkinFixture, SendNotifyFromWorkersIsQueuedAndDroppedWhenTheSenderIsGone) {
    Recorder rec;
    manager.AddNotifier(&rec);
    build("<VerticalLayout><Control name=\"a\"/><Control name=\"b\"/></VerticalLayout>");
    CControlUI* a = manager.FindControl("a");
    CControlUI* b = manager.FindControl("b");
    std::thread worker([&] {
        manager.SendNotify(a, "click", 5, 6);
        manager.SendNotify(b, "click");
    });
    worker.join();
    EXPECT_EQ(rec.count("click"), 0) << "nothing runs on the worker";
    delete b;
    ASSERT_TRUE(waitUntil([&] { return rec.count("click", "a") == 1; }));
    QTest::qWait(20);
    EXPECT_EQ(rec.count("click"), 1);
    EXPECT_TRUE(rec.entries.first().onGuiThread);
    EXPECT_EQ(rec.entries.first().wParam, 5u);
    manager.RemoveNotifier(&rec);
}

TEST_F(SkinFixture, LanguageTablesGiveTextsAndReloadThem) {
    writeFile(QString::fromStdString(dir.path()) + "/lang/a.xml",
              "<Language name=\"A\"><Text id=\"hello\" value=\"Hello\"/></Language>");
    writeFile(QString::fromStdString(dir.path()) + "/lang/b.xml",
              "<Language name=\"B\"><Text id=\"hello\" value=\"你好\"/></Language>");
    CResourceManager& res = CResourceManager::GetInstance();
    ASSERT_TRUE(res.LoadLanguage("a.xml"));
    build("<VerticalLayout><Label name=\"l\" textid=\"hello\"/><Combo name=\"c\">"
          "<ListLabelElement textid=\"hello\"/></Combo></VerticalLayout>");
    EXPECT_EQ(manager.FindControl("l")->GetText(), "Hello");
    ASSERT_TRUE(res.LoadLanguage("b.xml"));
    res.ReloadText();
    EXPECT_EQ(manager.FindControl("l")->GetText(), "你好");
    EXPECT_EQ(qobject_cast<CComboUI*>(manager.FindControl("c"))->Box()->itemText(0), "你好");
    EXPECT_FALSE(res.LoadLanguage("missing.xml"));
    EXPECT_EQ(res.GetText("hello"), "你好") << "a failed load keeps the table";
    EXPECT_EQ(res.GetText("no_such_key"), "no_such_key");
}

TEST(UiSeams, MessageWindowAndFileDialogsTakeTheirAnswersFromTheTest) {
    CMsgWnd::SetNextAnswer(IDCANCEL);
    const int shown = CMsgWnd::ShownCount();
    EXPECT_EQ(CMsgWnd::MessageBox(nullptr, "message_text_29", CMsgWnd::kOkCancel), IDCANCEL);
    EXPECT_EQ(CMsgWnd::LastTextKey(), "message_text_29");
    EXPECT_EQ(CMsgWnd::ShownCount(), shown + 1);

    FileDialog::SetNextFileName("/tmp/exported");
    EXPECT_EQ(FileDialog::GetSaveFileName(nullptr, "Profile(*.json)|*.json||", "json"), "/tmp/exported.json");
    FileDialog::SetNextFileName("");
    EXPECT_EQ(FileDialog::GetOpenFileName(nullptr, "(*.png) | *.png |(*.*)|*.*||", "png"), "") << "cancelled";
    // Each pattern shows once, whether or not the label already names it.
    EXPECT_EQ(FileDialog::ToQtFilter("(*.png) | *.png |(*.*)|*.*||"), "(*.png);;(*.*)");
    EXPECT_EQ(FileDialog::ToQtFilter("Profile Files(*.json)|*.json;||"), "Profile Files (*.json)");
    EXPECT_EQ(FileDialog::ToQtFilter("Pictures|*.png;*.jpg||"), "Pictures (*.png *.jpg)");
    // A name typed without an extension gets the default one; one with an extension keeps it.
    FileDialog::SetNextFileName("/tmp/Game.v2");
    EXPECT_EQ(FileDialog::GetSaveFileName(nullptr, "Profile Files(*.json)|*.json;||", "json"), "/tmp/Game.v2");
}

namespace {
struct MenuOwner : MessageTarget {
    QStringList chosen;
    bool postMessage(uint32_t, WPARAM, LPARAM) override { return true; }
    LRESULT sendMessage(uint32_t msg, WPARAM wParam, LPARAM) override {
        if (msg == kMsgMenuChoice)
            chosen.append(*reinterpret_cast<const QString*>(wParam));
        return 0;
    }
};
} // namespace

TEST_F(SkinFixture, XmlMenusReportTheChosenItemByName) {
    writeFile(skin + "menu.xml",
              "<Menu><MenuElement name=\"setwnd_menu\" text=\"Settings\"/><MenuSeparator/>"
              "<MenuElement name=\"more\" text=\"More\"><MenuElement name=\"about_menu\" text=\"About\"/>"
              "</MenuElement><MenuElement name=\"exit\" textid=\"menu_exit\"/></Menu>");
    MenuOwner owner;
    std::unique_ptr<QMenu> menu(CMenuWnd::BuildMenu(&owner, "menu.xml"));
    ASSERT_NE(menu, nullptr);
    QStringList names;
    for (QAction* a : menu->actions())
        if (!a->isSeparator())
            names.append(a->menu() ? a->menu()->objectName() : a->objectName());
    EXPECT_EQ(names, QStringList({"setwnd_menu", "more", "exit"}));
    menu->actions().first()->trigger();
    EXPECT_EQ(owner.chosen, QStringList({"setwnd_menu"}));
    CMenuWnd::SetNextChoice("exit");
    EXPECT_TRUE(CMenuWnd::CreateMenu(&owner, "menu.xml", QPoint()));
    EXPECT_EQ(owner.chosen.last(), "exit");
    EXPECT_FALSE(CMenuWnd::CreateMenu(&owner, "nomenu.xml", QPoint()));
}
