#include "editors/CKeySetControlUI.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <cstring>

#include "device/transport/DeviceChannel.h"
#include "editors/WindowInputCapture.h"
#include "keyboard/KeyTables.h"
#include "ui/CComboUI.h"
#include "ui/CEditUI.h"
#include "ui/CListUI.h"
#include "ui/COptionUI.h"
#include "ui/CResourceManager.h"

namespace talyx {
namespace {

constexpr const char* kModifierOptionPrefix = "key_ComBox_check_";

} // namespace

template <class T> T* CKeySetControlUI::control(const char* name) const {
    return qobject_cast<T*>(FindSubControl(QString::fromLatin1(name)));
}

void CKeySetControlUI::Setup() {
    m_layout = FindSubControl(QStringLiteral("keyset_layout"));
    m_function = control<CComboUI>("keyset_function_combo");
    m_tabs = control<CTabLayoutUI>("function_switch_tablayout");
    m_keyEdit = control<CEditUI>("keyset_keyboard_text_edit");
    if (m_keyEdit && m_keyEdit->LineEdit())
        m_keyEdit->LineEdit()->installEventFilter(this);
    if (m_layout)
        m_layout->SetVisible(false);
    // Assistive tools name the page's controls through the toolkit (caption, tip, or the
    // label before them), which follows the language and a combo's label, not its choice.
    SetPending(false);
}

int CKeySetControlUI::categoryItem(int category) const {
    for (int i = 0; m_function && i < m_function->GetCount(); ++i)
        if (m_function->GetItemAt(i)->GetUserData().toInt() == category)
            return i;
    return -1;
}

int CKeySetControlUI::categoryOfItem(int item) const {
    if (!m_function || item < 0 || item >= m_function->GetCount())
        return kCategoryNone;
    return m_function->GetItemAt(item)->GetUserData().toInt();
}

void CKeySetControlUI::SetFamily(int family) {
    m_family = family;
    const bool keyboard = family == kFamilyKeyboard;
    for (int category : {static_cast<int>(kCategoryDpi), static_cast<int>(kCategoryRecoil)}) {
        const int item = categoryItem(category);
        if (item >= 0)
            m_function->SetItemHidden(item, keyboard);
    }
}

void CKeySetControlUI::SetMacroNames(const std::vector<std::string>& names) {
    auto* combo = control<CComboUI>("keyset_macro_combo");
    if (!combo)
        return;
    m_showing = true;
    combo->RemoveAll();
    for (const std::string& n : names) {
        CControlUI* item = combo->AddItem(QString::fromStdString(n));
        item->SetFixedHeight(30);
    }
    combo->SelectItem(-1, false, false);
    m_macroCount = static_cast<int>(names.size());
    m_showing = false;
}

void CKeySetControlUI::ShowAssignment(uint32_t current, uint32_t defaultCode) {
    m_current = current & 0xFFFFFF;
    m_default = defaultCode & 0xFFFFFF;
    showCode(m_current);
}

void CKeySetControlUI::OnKeyClicked(uint32_t current, uint32_t defaultCode) {
    ShowAssignment(current, defaultCode);
}

void CKeySetControlUI::showCode(uint32_t code) {
    showForm(FormForAssignment(code, m_macroCount));
}

void CKeySetControlUI::showForm(const KeyAssignmentForm& f) {
    m_showing = true;
    auto select = [this](const char* name, int item) {
        if (auto* c = control<CComboUI>(name))
            c->SelectItem(item >= 0 && item < c->GetCount() ? item : -1, false, false);
    };
    auto number = [this](const char* name, int value) {
        if (auto* e = control<CEditUI>(name))
            e->SetText(QString::number(value));
    };
    switch (f.category) {
    case kCategoryMouseButton:
        select("keyset_mousekey_combo", f.mouseButton);
        break;
    case kCategoryHorizontalScroll:
    case kCategoryVerticalScroll: {
        const bool h = f.category == kCategoryHorizontalScroll;
        const ScrollForm& s = h ? f.horizontal : f.vertical;
        select(h ? "keyset_mouseswing_combo" : "keyset_mousewheel_combo", s.direction);
        number(h ? "keyset_mouseswing_num_edit" : "keyset_mousewheel_num_edit", s.count);
        number(h ? "keyset_mouseswing_delay_edit" : "keyset_mousewheel_delay_edit", s.delay);
        number(h ? "keyset_mouseswing_speed_edit" : "keyset_mousewheel_speed_edit", s.speed);
        break;
    }
    case kCategoryDpi:
        select("keyset_mousedpi_combo", f.dpi);
        break;
    case kCategoryFireKey:
        number("keyset_mousefire_interval_edit", f.fireInterval);
        number("keyset_mousefire_num_edit", f.fireShots);
        break;
    case kCategoryKeyboardKey: {
        m_modifierMask = f.modifierMask;
        m_keyUsage = f.keyUsage;
        const int choice = ModifierChoiceOfMask(f.modifierMask);
        for (int i = 0; i < kModifierChoices; ++i)
            if (auto* o = control<COptionUI>((kModifierOptionPrefix + std::to_string(i)).c_str()))
                o->Selected(i == choice, false);
        if (m_keyEdit) {
            const int row = f.keyUsage ? FindKeyNameRow(MakeAssignment(kAssignKeyboardKey, 0, f.keyUsage)) : -1;
            m_keyEdit->SetText(
                row >= 0 ? CResourceManager::GetInstance().GetText(QString::fromLatin1(kKeyNameTable[row].name))
                         : QString());
        }
        break;
    }
    case kCategoryMedia:
        select("keyset_media_combo", f.media);
        break;
    case kCategorySystem:
        select("keyset_system_combo", f.system);
        break;
    case kCategoryMacro:
        select("keyset_macro_combo", f.macro);
        select("keyset_macro_over_combo", f.playMode);
        if (f.playMode == kPlayModeRepeat)
            number("keyset_macro_cycle_edit", f.repeatCount);
        if (CControlUI* cycle = FindSubControl(QStringLiteral("keyset_macro_cycle_layout")))
            cycle->SetVisible(f.playMode == kPlayModeRepeat);
        break;
    case kCategoryRecoil:
        select("keyset_gunkey_combo", f.recoil);
        break;
    case kCategoryShortcut:
        select("keyset_combokey_combo", f.shortcut);
        break;
    default:
        break;
    }
    const int item = categoryItem(f.category);
    if (m_function)
        m_function->SelectItem(item, false, false);
    showCategoryPage(item >= 0 ? f.category : kCategoryNone);
    if (m_layout)
        m_layout->SetVisible(item >= 0);
    m_showing = false;
}

void CKeySetControlUI::showCategoryPage(int category) {
    if (m_tabs)
        m_tabs->SelectItem(category >= 0 && category < m_tabs->GetCount() ? category : 0);
}

KeyAssignmentForm CKeySetControlUI::readForm() const {
    KeyAssignmentForm f;
    auto item = [this](const char* name) {
        auto* c = control<CComboUI>(name);
        return c ? c->GetCurSel() : -1;
    };
    // Numbers are decimal; an empty or unreadable edit counts as 0.
    auto number = [this](const char* name) {
        auto* e = control<CEditUI>(name);
        return e ? e->GetText().trimmed().toInt() : 0;
    };
    f.category = m_function ? categoryOfItem(m_function->GetCurSel()) : kCategoryNone;
    f.mouseButton = item("keyset_mousekey_combo");
    f.horizontal = {item("keyset_mouseswing_combo") == 1 ? 1 : 0, number("keyset_mouseswing_num_edit"),
                    number("keyset_mouseswing_delay_edit"), number("keyset_mouseswing_speed_edit")};
    f.vertical = {item("keyset_mousewheel_combo") == 1 ? 1 : 0, number("keyset_mousewheel_num_edit"),
                  number("keyset_mousewheel_delay_edit"), number("keyset_mousewheel_speed_edit")};
    f.dpi = item("keyset_mousedpi_combo");
    f.fireInterval = number("keyset_mousefire_interval_edit");
    f.fireShots = number("keyset_mousefire_num_edit");
    f.modifierMask = m_modifierMask;
    f.keyUsage = m_keyEdit && !m_keyEdit->GetText().isEmpty() ? m_keyUsage : 0;
    f.media = item("keyset_media_combo");
    f.system = item("keyset_system_combo");
    f.macro = item("keyset_macro_combo");
    f.playMode = item("keyset_macro_over_combo");
    f.repeatCount = number("keyset_macro_cycle_edit");
    f.recoil = item("keyset_gunkey_combo");
    f.shortcut = item("keyset_combokey_combo");
    return f;
}

uint32_t CKeySetControlUI::BuildAssignment() {
    m_current = BuildAssignmentCode(readForm(), m_current, m_default, m_macroCount);
    return m_current;
}

void CKeySetControlUI::SetPending(bool pending) {
    m_pending = pending;
    for (const char* name : {"key_butt_keysave", "key_butt_keycancel", "key_butt_prosave"})
        if (CControlUI* c = FindSubControl(QString::fromLatin1(name)))
            c->SetEnabled(pending && !m_writing);
}

void CKeySetControlUI::apply() {
    BuildAssignment();
    if (!m_host || !m_host->storeAssignment(m_current))
        return;
    m_host->assignmentsChanged();
    SetPending(true);
}

void CKeySetControlUI::message(const char* key, const int* value) {
    if (m_host)
        m_host->showMessage(QString::fromLatin1(key), value);
}

void CKeySetControlUI::Write() {
    if (!m_host || m_writing)
        return;
    m_writing = true;
    SetPending(m_pending);
    QPointer<CKeySetControlUI> self(this);
    m_host->writeToKeyboard([self](int macros, int result) {
        if (!self)
            return;
        self->m_writing = false;
        // Nothing that failed is shown as written: the page stays pending, so the user
        // can write again.
        if (macros > 0) {
            self->message("message_text_16", &macros);
        } else if (macros < 0) {
            self->message("message_text_7");
        } else if (result == kResultUnreachable) {
            self->message("keyset_write_unreachable");
        } else if (result != kResultSuccess) {
            self->message("keyset_write_failed");
        } else {
            self->m_pending = false;
            self->m_host->assignmentsChanged();
        }
        self->SetPending(self->m_pending);
    });
}

bool CKeySetControlUI::CaptureKey(uint8_t scanCode, bool extended) {
    if (!m_function || categoryOfItem(m_function->GetCurSel()) != kCategoryKeyboardKey)
        return false;
    KeyAssignmentForm f = readForm();
    f.category = kCategoryKeyboardKey;
    if (!CaptureKeyIntoForm(f, scanCode, extended))
        return false;
    showForm(f);
    apply();
    return true;
}

bool CKeySetControlUI::ScanCodeOfKeyEvent(const QKeyEvent& e, uint8_t& scanCode, bool& extended) {
    return WindowInputCapture::ScanCodeOfKeyEvent(e, scanCode, extended);
}

bool CKeySetControlUI::eventFilter(QObject* watched, QEvent* event) {
    if (m_keyEdit && watched == m_keyEdit->LineEdit() && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        uint8_t code = 0;
        bool extended = false;
        if (!key->isAutoRepeat() && ScanCodeOfKeyEvent(*key, code, extended))
            CaptureKey(code, extended);
        return true; // the edit shows key names only, never typed text
    }
    return CVerticalLayoutUI::eventFilter(watched, event);
}

void CKeySetControlUI::EndKeyCapture() {
    if (!m_capturing)
        return;
    m_capturing = false;
    if (m_host)
        m_host->captureKeys(false);
}

void CKeySetControlUI::SetInputCaptured(bool captured) {
    m_inputCaptured = captured;
    if (captured)
        EndKeyCapture();
}

bool CKeySetControlUI::HandleNotify(TNotifyUI& msg) {
    CControlUI* sender = msg.pSender;
    if (!sender || !isAncestorOf(sender))
        return false;
    if (m_showing)
        return true;
    const QString name = sender->GetName();
    const QString& type = msg.sType;
    if (sender == m_keyEdit && (type == notify::kSetFocus || type == notify::kKillFocus)) {
        const bool wait = type == notify::kSetFocus && !m_inputCaptured && m_function &&
                          categoryOfItem(m_function->GetCurSel()) == kCategoryKeyboardKey;
        if (wait && m_host) {
            m_capturing = true;
            m_host->captureKeys(true);
        } else if (!wait) {
            EndKeyCapture();
        }
        return true;
    }
    if (type == notify::kClick) {
        if (name == QLatin1String("key_butt_keysave")) {
            apply();
        } else if (name == QLatin1String("key_butt_keycancel")) {
            ShowCurrent();
            SetPending(false);
        } else if (name == QLatin1String("key_butt_keydefalut")) {
            ShowDefault();
            apply();
            Write();
        } else if (name == QLatin1String("key_butt_prosave")) {
            Write();
        }
        return true;
    }
    if (type == notify::kSelectChanged && name.startsWith(QLatin1String(kModifierOptionPrefix))) {
        auto* option = qobject_cast<COptionUI*>(sender);
        if (option && option->IsSelected()) {
            m_modifierMask = ModifierMaskOfChoice(name.mid(static_cast<int>(strlen(kModifierOptionPrefix))).toInt());
            apply();
        }
        return true;
    }
    if (type == notify::kKillFocus || type == notify::kReturn) {
        // A number typed into an edit takes effect when the edit is left (leaving it
        // unchanged changes nothing).
        if (qobject_cast<CEditUI*>(sender) && sender != m_keyEdit &&
            BuildAssignmentCode(readForm(), m_current, m_default, m_macroCount) != m_current)
            apply();
        return true;
    }
    if (type != notify::kItemSelect)
        return true;
    if (sender == m_function) {
        EndKeyCapture();
        const int category = categoryOfItem(m_function->GetCurSel());
        showCategoryPage(category);
        if (category == kCategoryKeyboardKey) {
            m_showing = true;
            m_modifierMask = 0;
            m_keyUsage = 0;
            if (m_keyEdit)
                m_keyEdit->SetText(QString());
            for (int i = 0; i < kModifierChoices; ++i)
                if (auto* o = control<COptionUI>((kModifierOptionPrefix + std::to_string(i)).c_str()))
                    o->Selected(i == 0, false);
            m_showing = false;
        }
    } else if (name == QLatin1String("keyset_macro_over_combo")) {
        if (CControlUI* cycle = FindSubControl(QStringLiteral("keyset_macro_cycle_layout")))
            cycle->SetVisible(qobject_cast<CComboUI*>(sender)->GetCurSel() == kPlayModeRepeat);
    }
    apply();
    return true;
}

} // namespace talyx
