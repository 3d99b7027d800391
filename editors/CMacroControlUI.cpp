#include "editors/CMacroControlUI.h"

#include <QContextMenuEvent>
#include <QFile>
#include <QScrollArea>
#include <QTimer>
#include <QXmlStreamReader>
#include <algorithm>

#include "keyboard/KeyTables.h"
#include "platform/JsonFile.h"
#include "platform/MessageTarget.h"
#include "ui/CEditUI.h"
#include "ui/CListUI.h"
#include "ui/CMenuWnd.h"
#include "ui/CMsgWnd.h"
#include "ui/CPaintManagerUI.h"
#include "ui/CResourceManager.h"
#include "ui/FileDialog.h"
#include "ui/WindowMessages.h"

namespace talyx {
namespace {

// Action kinds of a macro file ("Type").
constexpr int kTypeMouseButton = 1;
constexpr int kTypeHorizontalMove = 4;
constexpr int kTypeVerticalMove = 5;
constexpr int kTypeModifier = 9;
constexpr int kTypeKey = 10;
constexpr int kModifierRows = 8;

constexpr const char* kActionMenu = "XML/Menus/sortlist.xml";
constexpr const char* kStylesLayout = "XML_MACRO_STYLES";

// The mouse buttons of a macro ("Button" of kind 1) and the names their rows show.
struct MouseButton {
    const char* menuName; // prefix of the context menu's items
    int button;
    const char* textKey;
};
constexpr MouseButton kMouseButtons[] = {
    {"left", 1, "mouse_key_left"}, {"right", 2, "mouse_key_right"},      {"middle", 4, "mouse_key_middle"},
    {"back", 8, "mouse_key_back"}, {"forward", 16, "mouse_key_forward"},
};

// The movement buttons: the edit with the distance, the kind and the action.
struct Movement {
    const char* button;
    const char* edit;
    int type;
    bool down;
    const char* textKey;
};
constexpr Movement kMovements[] = {
    {"macro_inset_moveleftkey_btn", "mouse_x_left_edit", kTypeHorizontalMove, true, "macro_move_left"},
    {"macro_inset_moverightkey_btn", "mouse_x_right_edit", kTypeHorizontalMove, false, "macro_move_right"},
    {"macro_inset_moveupkey_btn", "mouse_y_up_edit", kTypeVerticalMove, true, "macro_move_up"},
    {"macro_inset_movedownkey_btn", "mouse_y_down_edit", kTypeVerticalMove, false, "macro_move_down"},
};

QString text(const char* key) {
    return CResourceManager::GetInstance().GetText(QString::fromLatin1(key));
}

QString macroFilter() {
    return QStringLiteral("%1|%2||").arg(QString::fromLatin1(kMacroFileFilter.description),
                                         QString::fromLatin1(kMacroFileFilter.patterns));
}

// What the key or button column shows for an event.
QString nameOfEvent(int type, int button, bool down) {
    if (type == kTypeKey) {
        const int row = FindKeyNameRow(MakeAssignment(kAssignKeyboardKey, 0, static_cast<uint8_t>(button)));
        return row >= kModifierRows ? text(kKeyNameTable[row].name) : QString::number(button);
    }
    if (type == kTypeModifier) {
        for (int row = 0; row < kModifierRows; ++row)
            if (AssignmentHigh(kKeyNameTable[row].code) == button)
                return text(kKeyNameTable[row].name);
        return QString::number(button);
    }
    if (type == kTypeMouseButton) {
        for (const MouseButton& b : kMouseButtons)
            if (b.button == button)
                return text(b.textKey);
        return QString();
    }
    for (const Movement& m : kMovements)
        if (m.type == type && m.down == down)
            return text(m.textKey);
    return QString();
}

Json::Value eventJson(const std::string& action, int type, int button, int delay) {
    Json::Value e(Json::objectValue);
    e["Action"] = action;
    e["Button"] = button;
    e["Type"] = type;
    e["Delay"] = std::to_string(delay);
    return e;
}

std::string compact(const Json::Value& v) {
    std::string s = styledJson(v);
    s.erase(std::remove(s.begin(), s.end(), '\n'), s.end());
    return s;
}

} // namespace

template <class T> T* CMacroControlUI::control(const char* name) const {
    return qobject_cast<T*>(FindSubControl(QString::fromLatin1(name)));
}

void CMacroControlUI::bind() {
    if (m_bound)
        return;
    m_bound = true;
    m_names = control<CListUI>("macro_name_list");
    m_rows = control<CListUI>("macro_action_list");
    m_nameEdit = control<CEditUI>("macro_edit_macroname");
    if (m_rows)
        m_rows->installEventFilter(this);
    // The looks of the rows, as attribute lists by style name.
    QFile file(CPaintManagerUI::GetResourcePath() +
               CResourceManager::GetInstance().GetLayoutFile(QString::fromLatin1(kStylesLayout)));
    if (file.open(QIODevice::ReadOnly)) {
        QXmlStreamReader xml(&file);
        while (xml.readNextStartElement() || !xml.atEnd()) {
            if (xml.isStartElement() && xml.name() == QLatin1String("Style"))
                m_styles.insert(xml.attributes().value(QLatin1String("name")).toString(),
                                xml.attributes().value(QLatin1String("value")).toString());
            else if (xml.isStartElement() && xml.name() != QLatin1String("Styles"))
                xml.skipCurrentElement();
            if (xml.hasError())
                break;
        }
    }
    for (CControlUI* c : findChildren<CControlUI*>()) {
        if (c->GetName().isEmpty() || !c->accessibleName().isEmpty())
            continue;
        const QString name = !c->GetText().isEmpty() ? c->GetText() : c->toolTip();
        c->setAccessibleName(name.isEmpty() ? c->GetName() : name);
    }
    // Recording actions from the keyboard and the mouse is not part of this page yet; the
    // fixed delay is the delay of inserted actions.
    for (const char* name : {"macro_btn_starredio", "macro_btn_stopredio", "macro_check_time"})
        if (CControlUI* c = FindSubControl(QString::fromLatin1(name)))
            c->SetVisible(false);
}

void CMacroControlUI::applyStyle(CControlUI* c, const char* style) {
    const auto it = m_styles.constFind(QString::fromLatin1(style));
    if (it != m_styles.constEnd())
        c->ApplyAttributeList(*it);
}

void CMacroControlUI::SetFolder(const std::string& folder) {
    bind();
    m_library.SetFolder(folder);
}

void CMacroControlUI::LoadLibrary() {
    bind();
    m_library.Load();
    if (!m_names)
        return;
    m_filling = true;
    m_names->RemoveAll();
    for (const MacroInfoEntry& e : m_library.Entries()) {
        auto* item = new CListLabelElementUI;
        item->SetText(QString::fromStdString(e.name));
        item->SetUserData(QString::fromStdString(e.guid));
        item->SetFixedHeight(kRowHeight);
        item->setAccessibleName(item->GetText());
        m_names->Add(item);
    }
    m_filling = false;
    showSelected();
}

int CMacroControlUI::SelectedMacro() const {
    const int sel = m_names ? m_names->GetCurSel() : -1;
    return sel >= 0 && static_cast<size_t>(sel) < m_library.Count() ? sel : -1;
}

int CMacroControlUI::SelectedRow() const {
    const int sel = m_rows ? m_rows->GetCurSel() : -1;
    return sel < RowCount() ? sel : -1;
}

int CMacroControlUI::RowCount() const {
    return m_rows ? m_rows->GetCount() : 0;
}

void CMacroControlUI::setMacroControlsEnabled(bool enabled) {
    for (const char* name : {"macro_action_layout", "mouse_move_layout", "macro_btn_export", "macro_btn_import",
                             "macro_btn_name_sub", "macro_btn_name_edit"})
        if (CControlUI* c = FindSubControl(QString::fromLatin1(name)))
            c->SetEnabled(enabled);
}

void CMacroControlUI::showSelected() {
    const int macro = SelectedMacro();
    setMacroControlsEnabled(macro >= 0);
    if (macro < 0) {
        if (m_nameEdit)
            m_nameEdit->SetText(QString());
        fillRows({}, -1);
        return;
    }
    std::vector<Json::Value> events;
    const std::string path = m_library.MacroFilePath(static_cast<size_t>(macro));
    if (!path.empty()) {
        JsonFileState state;
        const Json::Value root = readjsonFile(path, state);
        const Json::Value& list = root.isObject() ? root["Events"] : Json::Value::nullSingleton();
        for (Json::ArrayIndex i = 0; list.isArray() && i < list.size() && i < MacroLibrary::kMaxEvents; ++i)
            if (list[i].isObject())
                events.push_back(list[i]);
    }
    fillRows(events, -1);
    if (m_nameEdit)
        m_nameEdit->SetText(QString::fromStdString(m_library.Entries()[static_cast<size_t>(macro)].name));
}

CListContainerElementUI* CMacroControlUI::makeRow(const Json::Value& event) {
    const bool down = event["Action"].isString() && event["Action"].asString() == "down";
    const int type = event["Type"].isIntegral() ? event["Type"].asInt() : 0;
    const int button = event["Button"].isIntegral() ? event["Button"].asInt() : 0;
    auto* row = new CListContainerElementUI;
    row->SetName(QStringLiteral("macro_action"));
    applyStyle(row, "macro_action_row_style");
    row->SetFixedHeight(kRowHeight);
    row->SetUserData(QString::fromStdString(compact(event)));

    auto* action = new CLabelUI;
    const bool movement = type == kTypeHorizontalMove || type == kTypeVerticalMove;
    if (movement) {
        applyStyle(action, "macro_label_text_style");
        action->SetText(QString::asprintf("%d", button));
    } else {
        applyStyle(action, down ? "macro_label_down_style" : "macro_label_up_style");
    }
    action->setAccessibleName(movement ? action->GetText() : text(down ? "macro_action_down" : "macro_action_up"));
    row->Add(action);

    auto* name = new CLabelUI;
    applyStyle(name,
               type == kTypeKey || type == kTypeModifier ? "macro_label_keyboard_style" : "macro_label_mouse_style");
    name->SetText(nameOfEvent(type, button, down));
    name->setAccessibleName(name->GetText());
    row->Add(name);

    auto* delay = new CEditUI;
    delay->SetName(QStringLiteral("macro_delay"));
    applyStyle(delay, "macro_label_text_style");
    delay->SetAttribute(QStringLiteral("bkcolor"), QStringLiteral("#FF444444"));
    delay->SetFixedHeight(25);
    delay->SetMaxChar(6);
    delay->SetNumberOnly(true);
    delay->SetMinValue(0);
    delay->SetMaxValue(kMaxDelay);
    delay->SetText(QString::number(MacroLibrary::DelayFromJson(event["Delay"])));
    delay->setAccessibleName(text("macro_column_delay"));
    row->Add(delay);
    row->setAccessibleName(action->accessibleName() + QLatin1Char(' ') + name->GetText());
    return row;
}

void CMacroControlUI::fillRows(const std::vector<Json::Value>& events, int select) {
    if (!m_rows)
        return;
    m_filling = true;
    m_rows->RemoveAll();
    for (const Json::Value& e : events)
        m_rows->Add(makeRow(e));
    if (select >= 0 && select < m_rows->GetCount())
        m_rows->SelectItem(select, false, false);
    m_filling = false;
    // Once the list is laid out, the selected row is scrolled into view.
    QPointer<CListUI> rows = m_rows;
    QTimer::singleShot(0, rows, [rows, select] {
        auto* scroll = rows ? rows->findChild<QScrollArea*>() : nullptr;
        if (scroll && select >= 0 && select < rows->GetCount())
            scroll->ensureWidgetVisible(rows->GetItemAt(select));
    });
}

std::vector<Json::Value> CMacroControlUI::RowEvents() const {
    std::vector<Json::Value> events;
    for (int i = 0; i < RowCount(); ++i) {
        CControlUI* row = m_rows->GetItemAt(i);
        // A row without its action ends the list, as when the file is saved.
        if (row->GetUserData().isEmpty())
            break;
        Json::Value e = parseJson(row->GetUserData().toStdString());
        if (!e.isObject())
            break;
        auto* delay = qobject_cast<CEditUI*>(row->FindSubControl(QStringLiteral("macro_delay")));
        const long long value = delay ? delay->GetText().trimmed().toLongLong() : 0;
        e["Delay"] = std::to_string(std::clamp<long long>(value, 0, kMaxDelay));
        events.push_back(e);
    }
    return events;
}

bool CMacroControlUI::SaveSelected() {
    const int macro = SelectedMacro();
    if (macro < 0)
        return false;
    // The edits show what is saved: an empty one becomes 0, a number past the limit the
    // limit, and each row keeps its action with the delay it now has.
    const std::vector<Json::Value> events = RowEvents();
    Json::Value list(Json::arrayValue);
    for (size_t i = 0; i < events.size(); ++i) {
        CControlUI* row = m_rows->GetItemAt(static_cast<int>(i));
        if (auto* delay = qobject_cast<CEditUI*>(row->FindSubControl(QStringLiteral("macro_delay"))))
            delay->SetText(QString::fromStdString(events[i]["Delay"].asString()));
        row->SetUserData(QString::fromStdString(compact(events[i])));
        list.append(events[i]);
    }
    if (!m_library.WriteEvents(static_cast<size_t>(macro), list)) {
        message(QStringLiteral("macro_file_failed_text"));
        return false;
    }
    return true;
}

void CMacroControlUI::ReloadSelected() {
    showSelected();
}

void CMacroControlUI::message(const QString& key) {
    CMsgWnd::MessageBox(window(), key);
}

bool CMacroControlUI::confirm(const QString& key) {
    return CMsgWnd::MessageBox(window(), key, CMsgWnd::kOkCancel) == IDOK;
}

void CMacroControlUI::AddMacro() {
    if (!confirm(QStringLiteral("message_text_28")))
        return;
    m_library.Load();
    if (m_library.Count() >= MacroLibrary::kMaxMacros) {
        message(QStringLiteral("macro_limit_text"));
        return;
    }
    const int index = m_library.Add(m_library.NewMacroName());
    if (index < 0) {
        message(QStringLiteral("macro_file_failed_text"));
        return;
    }
    LoadLibrary();
    if (m_names)
        m_names->SelectItem(index, false, false);
    showSelected();
    if (m_host)
        m_host->libraryChanged();
}

void CMacroControlUI::RenameSelected(const QString& name) {
    const int macro = SelectedMacro();
    if (macro < 0)
        return;
    m_library.Load();
    if (!m_library.IsNameAvailable(name.toStdString())) {
        message(QStringLiteral("message_text_5"));
        if (m_nameEdit)
            m_nameEdit->SetText(QString::fromStdString(m_library.Entries()[static_cast<size_t>(macro)].name));
        return;
    }
    if (!m_library.Rename(static_cast<size_t>(macro), name.toStdString())) {
        message(QStringLiteral("macro_file_failed_text"));
        return;
    }
    const QString shown = QString::fromStdString(m_library.Entries()[static_cast<size_t>(macro)].name);
    m_names->GetItemAt(macro)->SetText(shown);
    m_names->GetItemAt(macro)->setAccessibleName(shown);
    if (m_nameEdit)
        m_nameEdit->SetText(shown);
    if (m_host)
        m_host->libraryChanged();
}

void CMacroControlUI::DeleteSelected() {
    const int macro = SelectedMacro();
    if (macro < 0 || !confirm(QStringLiteral("message_text_4")))
        return;
    if (m_host && m_host->usesInCurrentProfile(static_cast<size_t>(macro)) > 0 &&
        !confirm(QStringLiteral("message_text_2")))
        return;
    // The index goes first; only once the macro has left it are the keys that refer to
    // it and to the macros after it renumbered.
    if (!m_library.Remove(static_cast<size_t>(macro))) {
        message(QStringLiteral("macro_file_failed_text"));
        return;
    }
    const std::vector<std::string> changed =
        MacroLibrary::RenumberProfileAssignments(m_library.Folder(), static_cast<size_t>(macro));
    LoadLibrary();
    if (m_names && m_names->GetCount() > 0)
        m_names->SelectItem(0, false, false);
    showSelected();
    if (m_host) {
        m_host->libraryChanged();
        m_host->profilesRenumbered(changed);
    }
}

void CMacroControlUI::MoveSelectedRow(int to) {
    const int from = SelectedRow();
    if (from < 0 || SelectedMacro() < 0)
        return;
    std::vector<Json::Value> events = RowEvents();
    if (from >= static_cast<int>(events.size()))
        return;
    to = std::clamp(to, 0, static_cast<int>(events.size()) - 1);
    if (to == from)
        return;
    const Json::Value moved = events[static_cast<size_t>(from)];
    events.erase(events.begin() + from);
    events.insert(events.begin() + to, moved);
    fillRows(events, to);
    SaveSelected();
}

void CMacroControlUI::DeleteSelectedRow() {
    const int row = SelectedRow();
    if (row < 0 || SelectedMacro() < 0)
        return;
    std::vector<Json::Value> events = RowEvents();
    if (row >= static_cast<int>(events.size()))
        return;
    events.erase(events.begin() + row);
    fillRows(events, std::min(row, static_cast<int>(events.size()) - 1));
    SaveSelected();
}

void CMacroControlUI::DeleteAllRows() {
    if (SelectedMacro() < 0)
        return;
    fillRows({}, -1);
    SaveSelected();
}

int CMacroControlUI::fixedDelay() const {
    auto* edit = control<CEditUI>("macro_fixed_time_edit");
    bool ok = false;
    const int value = edit ? edit->GetText().trimmed().toInt(&ok) : 0;
    return ok ? std::clamp(value, 0, kMaxDelay) : kDefaultFixedDelay;
}

bool CMacroControlUI::InsertAction(const std::string& action, int type, int button) {
    if (SelectedMacro() < 0)
        return false;
    std::vector<Json::Value> events = RowEvents();
    if (events.size() >= MacroLibrary::kMaxEvents) {
        message(QStringLiteral("macro_actions_limit_text"));
        return false;
    }
    const int selected = SelectedRow();
    const int at = events.empty() ? 0 : std::max(selected, 0) + 1;
    events.insert(events.begin() + std::min(at, static_cast<int>(events.size())),
                  eventJson(action, type, button, fixedDelay()));
    fillRows(events, at);
    return SaveSelected();
}

bool CMacroControlUI::ImportFile(const std::string& path) {
    const int macro = SelectedMacro();
    if (macro < 0 || path.empty())
        return false;
    m_lastImport = path;
    m_library.Load();
    switch (m_library.Import(static_cast<size_t>(macro), path)) {
    case MacroLibrary::Exchange::Ok:
        showSelected();
        if (m_host)
            m_host->libraryChanged();
        return true;
    case MacroLibrary::Exchange::TooManyEvents:
        message(QStringLiteral("macro_import_too_long_text"));
        return false;
    case MacroLibrary::Exchange::SameFile:
        message(QStringLiteral("macro_import_same_text"));
        return false;
    case MacroLibrary::Exchange::WriteFailed:
        message(QStringLiteral("macro_file_failed_text"));
        return false;
    default:
        message(QStringLiteral("macro_import_bad_text"));
        return false;
    }
}

bool CMacroControlUI::ExportFile(const std::string& path) {
    const int macro = SelectedMacro();
    if (macro < 0 || path.empty())
        return false;
    m_library.Load();
    switch (m_library.Export(static_cast<size_t>(macro), path)) {
    case MacroLibrary::Exchange::Ok:
        return true;
    case MacroLibrary::Exchange::NoFile:
        message(QStringLiteral("macro_export_nofile_text"));
        return false;
    default:
        message(QStringLiteral("macro_file_failed_text"));
        return false;
    }
}

void CMacroControlUI::openMouseMenu(const QPoint& at) {
    if (SelectedMacro() < 0)
        return;
    if (auto* owner = dynamic_cast<MessageTarget*>(window()))
        CMenuWnd::CreateMenu(owner, QString::fromLatin1(kActionMenu), at);
}

bool CMacroControlUI::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_rows && event->type() == QEvent::ContextMenu) {
        // The row under the pointer is the one the inserted actions follow.
        const QPoint at = static_cast<QContextMenuEvent*>(event)->globalPos();
        for (int i = 0; i < RowCount(); ++i) {
            CControlUI* row = m_rows->GetItemAt(i);
            if (row->rect().contains(row->mapFromGlobal(at)))
                m_rows->SelectItem(i, false, false);
        }
        openMouseMenu(at);
        return true;
    }
    return CHorizontalLayoutUI::eventFilter(watched, event);
}

bool CMacroControlUI::HandleMenuChoice(const QString& name) {
    for (const MouseButton& b : kMouseButtons) {
        const QString prefix = QString::fromLatin1(b.menuName) + QLatin1Char('_');
        if (!name.startsWith(prefix))
            continue;
        const QString what = name.mid(prefix.size());
        if (what == QLatin1String("down") || what == QLatin1String("click"))
            InsertAction("down", kTypeMouseButton, b.button);
        if (what == QLatin1String("up") || what == QLatin1String("click"))
            InsertAction("up", kTypeMouseButton, b.button);
        return what == QLatin1String("down") || what == QLatin1String("up") || what == QLatin1String("click");
    }
    return false;
}

bool CMacroControlUI::HandleNotify(TNotifyUI& msg) {
    CControlUI* sender = msg.pSender;
    if (!sender || !isAncestorOf(sender))
        return false;
    if (m_filling)
        return true;
    const QString name = sender->GetName();
    const QString& type = msg.sType;
    if (sender == m_names && type == notify::kItemSelect) {
        showSelected();
        return true;
    }
    if (name == QLatin1String("macro_delay") && (type == notify::kKillFocus || type == notify::kReturn)) {
        SaveSelected();
        return true;
    }
    if (type != notify::kClick)
        return true;
    const int row = SelectedRow();
    if (name == QLatin1String("macro_btn_name_add")) {
        AddMacro();
    } else if (name == QLatin1String("macro_btn_name_sub")) {
        DeleteSelected();
    } else if (name == QLatin1String("macro_btn_name_edit")) {
        RenameSelected(m_nameEdit ? m_nameEdit->GetText() : QString());
    } else if (name == QLatin1String("macro_btn_save")) {
        SaveSelected();
    } else if (name == QLatin1String("macro_btn_cancel")) {
        ReloadSelected();
    } else if (name == QLatin1String("macro_btn_import")) {
        const QString path = FileDialog::GetOpenFileName(window(), macroFilter(), QString());
        if (!path.isEmpty())
            ImportFile(path.toStdString());
    } else if (name == QLatin1String("macro_btn_export")) {
        const int macro = SelectedMacro();
        const QString path = FileDialog::GetSaveFileName(
            window(), macroFilter(), QString(),
            macro >= 0 ? QString::fromStdString(m_library.Entries()[static_cast<size_t>(macro)].name) + ".mac"
                       : QString());
        if (!path.isEmpty())
            ExportFile(path.toStdString());
    } else if (name == QLatin1String("macro_btn_up")) {
        MoveSelectedRow(row - 1);
    } else if (name == QLatin1String("macro_btn_down")) {
        MoveSelectedRow(row + 1);
    } else if (name == QLatin1String("macro_btn_uptop")) {
        MoveSelectedRow(0);
    } else if (name == QLatin1String("macro_btn_downbottom")) {
        MoveSelectedRow(RowCount() - 1);
    } else if (name == QLatin1String("macro_btn_delete")) {
        DeleteSelectedRow();
    } else if (name == QLatin1String("macro_btn_deleteall")) {
        DeleteAllRows();
    } else if (name == QLatin1String("macro_inset_mousekey_btn")) {
        openMouseMenu(sender->mapToGlobal(QPoint(0, sender->height())));
    } else {
        for (const Movement& m : kMovements) {
            if (name != QLatin1String(m.button))
                continue;
            auto* edit = control<CEditUI>(m.edit);
            const int distance = (edit ? edit->GetText().trimmed().toInt() : 0) & 0xFF;
            InsertAction(m.down ? "down" : "up", m.type, distance);
        }
    }
    return true;
}

} // namespace talyx
