// The macro library and editor through the window: the library's list, the rows of a macro
// and their delays, inserted mouse actions, saving and reloading, deleting a macro that keys
// of several profiles use, and the exchange files.
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <map>

#include "editors/CMacroControlUI.h"
#include "keyboard/KeyTables.h"
#include "platform/FileIO.h"
#include "tests/editors/EditorWindowFixture.h"
#include "ui/CMenuWnd.h"
#include "ui/FileDialog.h"

using namespace talyx;
using talyx::test::waitUntil;

namespace {

const auto* const kBusEnvironment = ::testing::AddGlobalTestEnvironment(new talyx::test::BusEnvironment);

constexpr const char* kCurrent = "2026_01_01_00_00_00_001";
constexpr const char* kOther = "2026_01_01_00_00_00_002";

std::map<std::string, std::string> filesIn(const std::string& folder) {
    std::map<std::string, std::string> out;
    for (const QString& name : QDir(QString::fromStdString(folder)).entryList(QDir::Files)) {
        std::string bytes;
        ReadWholeFile(folder + "/" + name.toStdString(), bytes);
        out[name.toStdString()] = bytes;
    }
    return out;
}

std::string bytesOf(const std::string& path) {
    std::string bytes;
    ReadWholeFile(path, bytes);
    return bytes;
}

class MacroWindow : public talyx::test::EditorWindow {
public:
    CMacroControlUI* macros() { return keyboard->Macros(); }
    std::vector<std::string> names() { return macros()->Names(); }
    void openMacros() {
        keyboard->ShowFunction(2);
        ASSERT_NE(macros(), nullptr);
    }
    void selectMacro(int index) {
        auto* list = get<CListUI>("macro_name_list");
        ASSERT_TRUE(list->SelectItem(index));
        ASSERT_EQ(macros()->SelectedMacro(), index);
    }
    void selectRow(int row) { ASSERT_TRUE(get<CListUI>("macro_action_list")->SelectItem(row)); }
    CEditUI* delayEdit(int row) {
        return qobject_cast<CEditUI*>(
            get<CListUI>("macro_action_list")->GetItemAt(row)->FindSubControl(QStringLiteral("macro_delay")));
    }
    std::string guidOf(int index) {
        return readjsonFile(JoinPath(folder(), "macro.config"))["MacroInfo"][index]["Guid"].asString();
    }
    // The events (as the image holds them) that the keyboard plays for one of its keys, or
    // the key's code when it plays no macro.
    std::string playedBy(int deviceKey) {
        const std::vector<uint8_t> block = area("assignments");
        const std::vector<uint8_t> image = area("macroImage");
        const size_t at = 3 * static_cast<size_t>(deviceKey);
        if (block[at] != 0x70 && block[at] != 0x71)
            return test::HexOf(block, at, 3);
        const size_t n = block[at + 1];
        const size_t offset = image[16 + 2 * n] | image[17 + 2 * n] << 8;
        const size_t events = image[offset] | image[offset + 1] << 8;
        return test::HexOf(block, at, 1) + test::HexOf(block, at + 2, 1) + ":" +
               test::HexOf(image, offset + 4, 4 * events);
    }
};

} // namespace

TEST_F(MacroWindow, AddRenameEditInsertSaveAndReloadInANewWindow) {
    test::WriteMacroLibrary(folder(), {{"macro_1", "g1", {test::MacroEvent("down", 10, 0x04, "70000")}},
                                       {"MACRO_2", "g2", {test::MacroEvent("down", 9, 0x02, "15")}}});
    start();
    openMacros();
    ASSERT_EQ(names(), std::vector<std::string>({"macro_1", "MACRO_2"}));
    selectMacro(0);
    EXPECT_EQ(delayEdit(0)->GetText(), "65535") << "a stored delay past the limit shows as the limit";

    CMsgWnd::SetNextAnswer(IDCANCEL);
    click("macro_btn_name_add");
    EXPECT_EQ(names().size(), 2u) << "declined";
    CMsgWnd::SetNextAnswer(IDOK);
    click("macro_btn_name_add");
    ASSERT_EQ(names(), std::vector<std::string>({"macro_1", "MACRO_2", "macro_3"}));
    EXPECT_EQ(macros()->SelectedMacro(), 2);
    EXPECT_EQ(macros()->RowCount(), 0);
    EXPECT_TRUE(get("macro_action_layout")->IsEnabled());
    EXPECT_EQ(get<CComboUI>("keyset_macro_combo")->GetCount(), 3) << "the key page lists the new macro";
    const std::string guid = guidOf(2);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(JoinPath(folder(), guid + ".mac")))) << "no file before a save";

    // Renaming: refused when blank or taken (its own name and other cases included).
    for (const char* refused : {"   ", "MACRO_1", "macro_3"}) {
        SCOPED_TRACE(refused);
        type("macro_edit_macroname", refused);
        CMsgWnd::SetNextAnswer(IDOK);
        click("macro_btn_name_edit");
        EXPECT_EQ(CMsgWnd::LastTextKey(), "message_text_5");
        EXPECT_EQ(names()[2], "macro_3");
    }
    type("macro_edit_macroname", "  Combo ");
    click("macro_btn_name_edit");
    EXPECT_EQ(names()[2], "Combo");
    EXPECT_EQ(get<CComboUI>("keyset_macro_combo")->GetItemAt(2)->GetText(), "Combo");

    // Inserting: a movement (its distance kept to a byte), then a click through the
    // context menu after it, each with the fixed delay.
    type("macro_fixed_time_edit", "40");
    type("mouse_x_left_edit", "300");
    click("macro_inset_moveleftkey_btn");
    // A right click on the row opens the context menu after it.
    auto* rows = get<CListUI>("macro_action_list");
    CControlUI* first = rows->GetItemAt(0);
    const QPoint inside = first->mapToGlobal(first->rect().center());
    QContextMenuEvent menu(QContextMenuEvent::Mouse, rows->mapFromGlobal(inside), inside);
    CMenuWnd::SetNextChoice("right_click");
    QApplication::sendEvent(rows, &menu);
    type("mouse_y_down_edit", "7");
    click("macro_inset_movedownkey_btn");
    EXPECT_EQ(eventsOf(guid), std::vector<std::string>({"down 4 44 40", "down 1 2 40", "up 1 2 40", "up 5 7 40"}));

    // Delays: empty is saved as 0; rows move and go.
    delayEdit(1)->SetText("");
    delayEdit(2)->SetText("125");
    click("macro_btn_save");
    EXPECT_EQ(delayEdit(1)->GetText(), "0");
    selectRow(3);
    click("macro_btn_uptop");
    selectRow(2);
    click("macro_btn_down");
    EXPECT_EQ(eventsOf(guid), std::vector<std::string>({"up 5 7 40", "down 4 44 40", "up 1 2 125", "down 1 2 0"}));
    selectRow(1);
    click("macro_btn_delete");
    EXPECT_EQ(eventsOf(guid), std::vector<std::string>({"up 5 7 40", "up 1 2 125", "down 1 2 0"}));
    // Cancel shows the file again, not what the rows held.
    delayEdit(0)->SetText("999");
    click("macro_btn_cancel");
    EXPECT_EQ(delayEdit(0)->GetText(), "40");

    // A new window reads it all back.
    wnd->Close();
    wnd.reset();
    openWindow();
    ASSERT_TRUE(waitUntil([&] {
        auto pages = wnd->Pages(DeviceTypeKeyboard);
        page = pages.empty() ? nullptr : pages.front();
        return page && page->IsStarted();
    }));
    keyboard = page->Keyboard();
    openMacros();
    EXPECT_EQ(names(), std::vector<std::string>({"macro_1", "MACRO_2", "Combo"}));
    selectMacro(2);
    ASSERT_EQ(macros()->RowCount(), 3);
    EXPECT_EQ(delayEdit(1)->GetText(), "125");
    EXPECT_EQ(get<CEditUI>("macro_edit_macroname")->GetText(), "Combo");
}

TEST_F(MacroWindow, DeletingAMacroRenumbersTheKeysOfEveryProfileAndTheKeyboardPlaysTheSame) {
    std::vector<test::PreparedMacro> library;
    for (int i = 0; i < 5; ++i)
        library.push_back({"m" + std::to_string(i),
                           "g" + std::to_string(i),
                           {test::MacroEvent("down", 10, 0x04 + i, "5"), test::MacroEvent("up", 10, 0x04 + i, "6")}});
    test::WriteMacroLibrary(folder(), library);
    // Slots 64 to 68 (A, S, D, F, G) on macros 2, 3, 4, 1 and 0; the other profile on 4 and 1.
    const uint32_t bound[] = {0x700200, 0x710303, 0x700400, 0x700100, 0x700000};
    Json::Value entry = readjsonFile(DefaultDocumentPath("keyboard"))["Device"][0];
    for (int i = 0; i < 5; ++i)
        entry["KeyList"][64 + i]["Assignment"] = bound[i];
    test::WriteProfile(folder(), kCurrent, "Current", entry, true);
    Json::Value other = readjsonFile(DefaultDocumentPath("keyboard"))["Device"][0];
    other["KeyList"][10]["Assignment"] = 0x700400;
    other["KeyList"][11]["Assignment"] = 0x700100;
    test::WriteProfile(folder(), kOther, "Other", other, false);
    start();
    openMacros();

    std::vector<int> keys;
    std::vector<std::string> before;
    for (int i = 0; i < 5; ++i) {
        keys.push_back(deviceKeyOf(kKeySlotTable[64 + i]));
        before.push_back(playedBy(keys.back()));
    }

    selectMacro(1);
    CMsgWnd::SetNextAnswer(IDOK); // delete it?
    CMsgWnd::SetNextAnswer(IDOK); // a key of this profile uses it: delete anyway?
    click("macro_btn_name_sub");
    EXPECT_EQ(CMsgWnd::LastTextKey(), "message_text_2");
    ASSERT_EQ(names(), std::vector<std::string>({"m0", "m2", "m3", "m4"}));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(JoinPath(folder(), "g1.mac"))));
    EXPECT_EQ(get<CComboUI>("keyset_macro_combo")->GetCount(), 4);

    const Json::Value current = readjsonFile(ProfileDocumentPath(folder(), kCurrent))["Device"][0]["KeyList"];
    EXPECT_EQ(current[64]["Assignment"].asInt(), 0x700100);
    EXPECT_EQ(current[65]["Assignment"].asInt(), 0x710203);
    EXPECT_EQ(current[66]["Assignment"].asInt(), 0x700300);
    EXPECT_EQ(current[67]["Assignment"].asInt(), 0x200009) << "the deleted macro's key is F again";
    EXPECT_EQ(current[68]["Assignment"].asInt(), 0x700000);
    const Json::Value others = readjsonFile(ProfileDocumentPath(folder(), kOther))["Device"][0]["KeyList"];
    EXPECT_EQ(others[10]["Assignment"].asInt(), 0x700300);
    EXPECT_EQ(others[11]["Assignment"].asInt(), static_cast<int>(kKeySlotTable[11]));

    // The current profile went to the keyboard again: the same events for every key.
    ASSERT_TRUE(device->Commands().WaitIdle(10000));
    for (int i : {0, 1, 2, 4})
        EXPECT_EQ(playedBy(keys[i]), before[i]) << "slot " << 64 + i;
    EXPECT_EQ(playedBy(keys[3]), "200009");
    EXPECT_EQ(caption(67), tr("keyboard_key_F"));
}

TEST_F(MacroWindow, ImportAndExportRoundTripAndBadFilesChangeNothing) {
    test::WriteMacroLibrary(folder(), {{"Kept", "g1", {test::MacroEvent("down", 10, 0x04, "20")}},
                                       {"Other", "g2", {test::MacroEvent("up", 1, 0x01, "3")}}});
    start();
    openMacros();
    selectMacro(0);

    const std::string exported = data.path() + "/kept.mac";
    FileDialog::SetNextFileName(QString::fromStdString(exported));
    click("macro_btn_export");
    EXPECT_EQ(bytesOf(exported), bytesOf(JoinPath(folder(), "g1.mac")));

    // The other macro's file over this one: byte for byte, the name and Guid stay.
    const std::string source = data.path() + "/other.mac";
    ASSERT_TRUE(WriteFileAtomic(source, bytesOf(JoinPath(folder(), "g2.mac"))));
    FileDialog::SetNextFileName(QString::fromStdString(source));
    click("macro_btn_import");
    EXPECT_EQ(bytesOf(JoinPath(folder(), "g1.mac")), bytesOf(source));
    EXPECT_EQ(macros()->RowCount(), 1);
    EXPECT_EQ(names()[0], "Kept");
    EXPECT_EQ(guidOf(0), "g1");

    // Files that must change nothing, each with what the page says.
    std::string many = R"({"Events":[)";
    for (int i = 0; i < 4001; ++i)
        many += std::string(i ? "," : "") + R"({"Action":"down","Type":10,"Button":4,"Delay":"1"})";
    many += "]}";
    const struct {
        const char* what;
        std::string text;
        const char* message;
    } bad[] = {
        {"not JSON", "{\"Events\": [", "macro_import_bad_text"},
        {"empty", "", "macro_import_bad_text"},
        {"an array", "[1,2]", "macro_import_bad_text"},
        {"no events", R"({"Guid":"g9"})", "macro_import_bad_text"},
        {"an event without a type", R"({"Events":[{"Action":"down","Button":4,"Delay":"1"}]})",
         "macro_import_bad_text"},
        {"a delay that is no number", R"({"Events":[{"Action":"down","Type":10,"Button":4,"Delay":"soon"}]})",
         "macro_import_bad_text"},
        {"a Guid out of the folder", R"({"Guid":"../../x","Events":[]})", "macro_import_bad_text"},
        {"4001 events", many, "macro_import_too_long_text"},
        {"huge", std::string(3 << 20, ' '), "macro_import_bad_text"},
    };
    const std::map<std::string, std::string> files = filesIn(folder());
    for (const auto& b : bad) {
        SCOPED_TRACE(b.what);
        const std::string path = data.path() + "/bad.mac";
        ASSERT_TRUE(WriteFileAtomic(path, b.text));
        CMsgWnd::SetNextAnswer(IDOK);
        FileDialog::SetNextFileName(QString::fromStdString(path));
        click("macro_btn_import");
        EXPECT_EQ(CMsgWnd::LastTextKey().toStdString(), b.message);
        EXPECT_EQ(filesIn(folder()), files);
    }
    CMsgWnd::SetNextAnswer(IDOK);
    FileDialog::SetNextFileName(QString::fromStdString(JoinPath(folder(), "g1.mac")));
    click("macro_btn_import");
    EXPECT_EQ(CMsgWnd::LastTextKey(), "macro_import_same_text");
    EXPECT_EQ(filesIn(folder()), files);

    // A macro that was never saved has no file to export.
    CMsgWnd::SetNextAnswer(IDOK);
    click("macro_btn_name_add");
    CMsgWnd::SetNextAnswer(IDOK);
    FileDialog::SetNextFileName(QString::fromStdString(data.path() + "/new.mac"));
    click("macro_btn_export");
    EXPECT_EQ(CMsgWnd::LastTextKey(), "macro_export_nofile_text");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(data.path() + "/new.mac")));
}

TEST_F(MacroWindow, RowsShowTheKeysButtonsMovementsAndDelaysOfARecordedMacro) {
    // Ctrl+C typed, a right click, a move to the left: as a recording leaves them.
    test::WriteMacroLibrary(folder(),
                            {{"Copy and paste",
                              "g1",
                              {test::MacroEvent("down", 9, 0x01, "42"), test::MacroEvent("down", 10, 0x06, "87"),
                               test::MacroEvent("up", 10, 0x06, "63"), test::MacroEvent("up", 9, 0x01, "120"),
                               test::MacroEvent("down", 1, 2, "95"), test::MacroEvent("up", 1, 2, "110"),
                               test::MacroEvent("down", 4, 35, "16"), test::MacroEvent("down", 10, 0x19, "54"),
                               test::MacroEvent("up", 10, 0x19, "50")}},
                             {"Burst fire", "g2", {}},
                             {"Build order", "g3", {}}});
    start();
    openMacros();
    selectMacro(0);
    ASSERT_EQ(macros()->RowCount(), 9);
    auto* list = get<CListUI>("macro_action_list");
    auto label = [&](int row, int column) { return list->GetItemAt(row)->findChildren<CControlUI*>()[column]; };
    const std::vector<QString> names = {tr("keyboard_key_LCtrl"), tr("keyboard_key_C"),  tr("keyboard_key_C"),
                                        tr("keyboard_key_LCtrl"), tr("mouse_key_right"), tr("mouse_key_right"),
                                        tr("macro_move_left"),    tr("keyboard_key_V"),  tr("keyboard_key_V")};
    for (int row = 0; row < 9; ++row)
        EXPECT_EQ(label(row, 1)->GetText(), names[row]) << row;
    EXPECT_EQ(label(6, 0)->GetText(), "35") << "a movement shows its distance";
    EXPECT_EQ(delayEdit(4)->GetText(), "95");
    EXPECT_EQ(list->GetItemAt(1)->accessibleName(), tr("macro_action_down") + " " + tr("keyboard_key_C"));
    selectRow(2);
    screenshot("macro-editor");
}
