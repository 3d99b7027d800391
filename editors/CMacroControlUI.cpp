#include "editors/CMacroControlUI.h"

#include <QContextMenuEvent>
#include <QFile>
#include <QLineEdit>
#include <QScrollArea>
#include <QTimer>
#include <QXmlStreamReader>
#include <algorithm>

#include "keyboard/KeyTables.h"
#include "platform/Clock.h"
#include "platform/JsonFile.h"
#include "platform/MessageTarget.h"
#include "ui/CEditUI.h"
#include "ui/CListUI.h"
#include "ui/CMenuWnd.h"
#include "ui/CMsgWnd.h"
#include "ui/COptionUI.h"
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

constexpr const char* kMouseMenu = "XML/Menus/sortlist.xml";
constexpr const char* kActionMenu = "XML/Menus/macro_action_menu.xml";
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

// The commands that start a recording: the hook mode and the delay mode (0: fixed when
// "macro_check_time" is checked, else real).
struct RecordCommand {
    const char* name;
    int hookMode;
    int delayMode;
};
constexpr RecordCommand kRecordCommands[] = {
    {"macro_btn_starredio", kHookModeAppend, 0},
    {"redio_previous_record_time", kHookModePrevious, 0},
    {"redio_previous_constant_time", kHookModePrevious, CMacroControlUI::kDelayFixed},
    {"redio_previous_ignore_time", kHookModePrevious, CMacroControlUI::kDelayNone},
    {"redio_later_record_time", kHookModeLater, 0},
    {"redio_later_constant_time", kHookModeLater, CMacroControlUI::kDelayFixed},
    {"redio_later_ignore_time", kHookModeLater, CMacroControlUI::kDelayNone},
    {"macro_action_edit", kHookModeSingle, CMacroControlUI::kDelayNone},
};

// A recorded mouse message: the row of the mouse action table it stands for.
struct RecordedMouse {
    uint32_t message;
    uint32_t extra; // the extra button's number for 523 and 524
    int button;
    bool down;
};
constexpr RecordedMouse kRecordedMouse[] = {
    {kHookLeftDown, 0, 1, true},
    {kHookLeftUp, 0, 1, false},
    {kHookRightDown, 0, 2, true},
    {kHookRightUp, 0, 2, false},
    {kHookMiddleDown, 0, 4, true},
    {kHookMiddleUp, 0, 4, false},
    {kHookExtraDown, kHookExtraForward, 16, true},
    {kHookExtraUp, kHookExtraForward, 16, false},
    {kHookExtraDown, kHookExtraBack, 8, true},
    {kHookExtraUp, kHookExtraBack, 8, false},
};

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
    // The fixed delay is the delay of inserted actions and, with "macro_check_time", of
    // recorded ones.
    if (CControlUI* c = FindSubControl(QStringLiteral("macro_btn_stopredio")))
        c->SetVisible(false);
    if (CControlUI* c = FindSubControl(QStringLiteral("macro_record_backend_text")))
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
        action->SetText(QString::number(button));
    } else {
        applyStyle(action, down ? "macro_label_down_style" : "macro_label_up_style");
    }
    const char* directionId = down ? "macro_action_down" : "macro_action_up";
    action->setAccessibleName(movement ? action->GetText() : text(directionId));
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
    const int shownDelay = MacroLibrary::DelayFromJson(event["Delay"]);
    delay->SetText(QString::number(shownDelay));
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
        const std::string held = events[i]["Delay"].asString();
        if (auto* delay = qobject_cast<CEditUI*>(row->FindSubControl(QStringLiteral("macro_delay"))))
            delay->SetText(QString::fromStdString(held));
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

void CMacroControlUI::openMouseMenu(const QPoint& at, const char* layout) {
    if (SelectedMacro() < 0 || IsRecording())
        return;
    if (auto* owner = dynamic_cast<MessageTarget*>(window()))
        CMenuWnd::CreateMenu(owner, QString::fromLatin1(layout), at);
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
        openMouseMenu(at, kActionMenu);
        return true;
    }
    return CHorizontalLayoutUI::eventFilter(watched, event);
}

bool CMacroControlUI::HandleMenuChoice(const QString& name) {
    for (const RecordCommand& c : kRecordCommands) {
        if (name != QLatin1String(c.name))
            continue;
        int delay = c.delayMode;
        if (delay == 0) {
            auto* check = control<COptionUI>("macro_check_time");
            delay = check && check->IsSelected() ? kDelayFixed : kDelayReal;
        }
        StartRecording(c.hookMode, delay);
        return true;
    }
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

bool CMacroControlUI::StartRecording(int hookMode, int delayMode) {
    if (SelectedMacro() < 0)
        return false;
    const bool needsRow = hookMode == kHookModePrevious || hookMode == kHookModeLater || hookMode == kHookModeSingle;
    if (needsRow && SelectedRow() < 0)
        return false;
    // Starting again ends the recording that runs (and saves it) first.
    StopRecording();
    m_rec = Recording();
    m_rec.delayMode = delayMode;
    m_rec.lastTime = static_cast<uint32_t>(GetTickCount());
    m_rec.at = SelectedRow();
    m_rec.fixedDelay = fixedDelay();
    if (delayMode == kDelayFixed)
        if (auto* edit = control<CEditUI>("macro_fixed_time_edit");
            edit && edit->GetText().trimmed().toLongLong() > kMaxDelay) {
            edit->SetText(QString::number(static_cast<long>(kMaxDelay)));
            if (QLineEdit* line = edit->LineEdit())
                line->setCursorPosition(static_cast<int>(line->text().size()));
        }
    std::string backend;
    std::string why;
    if (!m_host || !m_host->installHook(hookMode, backend, why)) {
        message(QStringLiteral("macro_record_failed_text"));
        return false;
    }
    m_rec.hookMode = hookMode;
    setRecordingLocked(true);
    if (CControlUI* note = FindSubControl(QStringLiteral("macro_record_backend_text"))) {
        const bool global = backend == "evdev";
        note->SetTextId(QString::fromLatin1(global ? "macro_record_global_text" : "macro_record_window_text"));
        note->setAccessibleName(note->GetText());
        note->SetToolTip(global ? QString() : text("macro_record_window_tip"));
        note->SetVisible(true);
    }
    m_host->setRecordingLock(true);
    return true;
}

void CMacroControlUI::StopRecording() {
    if (!IsRecording())
        return;
    m_rec.hookMode = 0;
    setRecordingLocked(false);
    if (CControlUI* note = FindSubControl(QStringLiteral("macro_record_backend_text")))
        note->SetVisible(false);
    if (m_host) {
        m_host->uninstallHook();
        m_host->setRecordingLock(false);
    }
    SaveSelected();
}

void CMacroControlUI::setRecordingLocked(bool locked) {
    for (const char* name : {"macro_name_tab", "macro_action_list"})
        if (CControlUI* c = FindSubControl(QString::fromLatin1(name)))
            c->setAttribute(Qt::WA_TransparentForMouseEvents, locked);
    for (const char* name : {"macro_tab_macroaction_edit", "macro_tab_macrodelay_edit", "mouse_move_layout"})
        if (CControlUI* c = FindSubControl(QString::fromLatin1(name)))
            c->SetEnabled(!locked);
    if (CControlUI* c = FindSubControl(QStringLiteral("macro_btn_starredio")))
        c->SetVisible(!locked);
    if (CControlUI* c = FindSubControl(QStringLiteral("macro_btn_stopredio")))
        c->SetVisible(locked);
}

CEditUI* CMacroControlUI::delayEditOf(int row) const {
    CControlUI* item = m_rows ? m_rows->GetItemAt(row) : nullptr;
    return item ? qobject_cast<CEditUI*>(item->FindSubControl(QStringLiteral("macro_delay"))) : nullptr;
}

void CMacroControlUI::setRowDelay(int row, int delay) {
    CControlUI* item = m_rows ? m_rows->GetItemAt(row) : nullptr;
    if (!item)
        return;
    Json::Value e = parseJson(item->GetUserData().toStdString());
    if (e.isObject()) {
        e["Delay"] = std::to_string(delay);
        item->SetUserData(QString::fromStdString(compact(e)));
    }
    if (CEditUI* edit = delayEditOf(row))
        edit->SetText(QString::number(delay));
}

void CMacroControlUI::scrollToRow(int row) {
    m_scrollRow = row;
    if (CPaintManagerUI* pm = GetManager())
        pm->SetTimer(this, kScrollTimerId, kScrollDelayMs);
}

void CMacroControlUI::OnTimer(int id) {
    if (id != kScrollTimerId) {
        CHorizontalLayoutUI::OnTimer(id);
        return;
    }
    if (CPaintManagerUI* pm = GetManager())
        pm->KillTimer(this, kScrollTimerId);
    auto* scroll = m_rows ? m_rows->findChild<QScrollArea*>() : nullptr;
    if (scroll && m_scrollRow >= 0 && m_scrollRow < RowCount())
        scroll->ensureWidgetVisible(m_rows->GetItemAt(m_scrollRow));
}

void CMacroControlUI::addRecordedRow(bool down, int type, int button, uint32_t time) {
    const int count = RowCount();
    if (count >= static_cast<int>(MacroLibrary::kMaxEvents))
        return;
    int delay = 0;
    if (m_rec.delayMode == kDelayReal) {
        const uint32_t elapsed = time - m_rec.lastTime;
        delay = elapsed > static_cast<uint32_t>(kMaxDelay - 1) ? kMaxDelay : static_cast<int>(elapsed);
        m_rec.lastTime = time;
    } else if (m_rec.delayMode == kDelayFixed) {
        delay = m_rec.fixedDelay;
    }
    int at = count;
    if (m_rec.hookMode == kHookModePrevious)
        at = std::clamp(m_rec.at, 0, count);
    else if (m_rec.hookMode == kHookModeLater)
        at = std::clamp(m_rec.at + 1, 0, count);
    const int ownDelay = count == 0 ? 0 : (m_rec.delayMode == kDelayFixed ? m_rec.fixedDelay : 0);
    m_filling = true;
    m_rows->AddAt(makeRow(eventJson(down ? "down" : "up", type, button, ownDelay)), at);
    // Each row's delay is the time until the next action: the row before the new one
    // takes the time just measured.
    if (m_rec.recorded && at > 0)
        setRowDelay(at - 1, delay);
    m_rec.recorded = true;
    int select = at;
    if (m_rec.hookMode == kHookModePrevious)
        select = at + 1; // the row the recording inserts before
    m_rec.at = select;
    if (m_rec.hookMode == kHookModeLater)
        m_rec.at = at;
    m_rows->SelectItem(select, false, false);
    m_filling = false;
    scrollToRow(at);
}

void CMacroControlUI::replaceSelectedRow(int type, int button) {
    const int row = SelectedRow();
    CControlUI* item = row >= 0 ? m_rows->GetItemAt(row) : nullptr;
    if (!item)
        return;
    Json::Value e = parseJson(item->GetUserData().toStdString());
    if (!e.isObject())
        return;
    e["Type"] = type;
    e["Button"] = button;
    if (CEditUI* edit = delayEditOf(row))
        e["Delay"] = edit->GetText().trimmed().toStdString();
    m_filling = true;
    m_rows->Remove(item);
    m_rows->AddAt(makeRow(e), row);
    m_rows->SelectItem(row, false, false);
    m_filling = false;
}

void CMacroControlUI::RecordKey(int mode, uint32_t wParam, const KeyboardHookRecord& record) {
    if (!IsRecording() || mode != m_rec.hookMode || !m_rows)
        return;
    const bool down = wParam == kHookKeyDown || wParam == kHookSysKeyDown;
    const bool extended = (record.flags & kHookFlagExtended) != 0;
    const int key = static_cast<int>(record.scanCode & 0xFF) | (extended ? 0x100 : 0);
    if (down && key == m_rec.lastKey)
        return; // the key repeats while held
    if (down)
        m_rec.lastKey = key;
    else if (key == m_rec.lastKey)
        m_rec.lastKey = -1;
    int row = -1;
    for (int r = 0; r < kPlainKeyRows && row < 0; ++r)
        if (kPlainKeyScanCodes[r].code == (record.scanCode & 0xFF) && kPlainKeyScanCodes[r].extended == extended)
            row = r;
    if (row < 0 || AssignmentType(kKeyNameTable[row].code) != kAssignKeyboardKey)
        return;
    const uint32_t code = kKeyNameTable[row].code;
    const bool modifier = row < kModifierRows;
    const int type = modifier ? kTypeModifier : kTypeKey;
    const int button = modifier ? AssignmentHigh(code) : AssignmentLow(code);
    if (m_rec.hookMode == kHookModeSingle)
        replaceSelectedRow(type, button);
    else
        addRecordedRow(down, type, button, record.time);
}

void CMacroControlUI::RecordMouse(int mode, uint32_t wParam, const MouseHookRecord& record) {
    if (!IsRecording() || mode != m_rec.hookMode || !m_rows)
        return;
    const uint32_t extra = wParam == kHookExtraDown || wParam == kHookExtraUp ? record.buttonData >> 16 : 0;
    const RecordedMouse* found = nullptr;
    for (const RecordedMouse& m : kRecordedMouse)
        if (m.message == wParam && m.extra == extra)
            found = &m;
    if (!found)
        return;
    const uint32_t seen = wParam | extra << 16;
    if (seen == m_rec.lastMouse)
        return;
    m_rec.lastMouse = seen;
    // The click that stops the recording is not part of it.
    if (wParam == kHookLeftDown || wParam == kHookLeftUp)
        if (CControlUI* stop = FindSubControl(QStringLiteral("macro_btn_stopredio")); stop && stop->isVisible()) {
            const QRect area(stop->mapToGlobal(QPoint(0, 0)), stop->size());
            if (area.contains(record.x, record.y))
                return;
        }
    if (m_rec.hookMode == kHookModeSingle)
        replaceSelectedRow(kTypeMouseButton, found->button);
    else
        addRecordedRow(found->down, kTypeMouseButton, found->button, record.time);
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
    } else if (name == QLatin1String("macro_btn_starredio")) {
        HandleMenuChoice(name);
    } else if (name == QLatin1String("macro_btn_stopredio")) {
        StopRecording();
    } else if (name == QLatin1String("macro_inset_mousekey_btn")) {
        openMouseMenu(sender->mapToGlobal(QPoint(0, sender->height())), kMouseMenu);
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
