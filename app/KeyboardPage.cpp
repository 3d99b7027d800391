#include "app/KeyboardPage.h"

#include <QRegularExpression>
#include <algorithm>

#include "app/CDevicePageUI.h"
#include "keyboard/CKestravaKeyboardDevice.h"
#include "keyboard/KeyCaptions.h"
#include "keyboard/KeyTables.h"
#include "keyboard/KeyboardSettings.h"
#include "profile/FileExchange.h"
#include "profile/ProfileTransfer.h"
#include "ui/CColorPaletteUI.h"
#include "ui/CComboUI.h"
#include "ui/CDeviceKeyButtonUI.h"
#include "ui/CEditUI.h"
#include "ui/CListUI.h"
#include "ui/CMsgWnd.h"
#include "ui/COptionUI.h"
#include "ui/CProgressUI.h"
#include "ui/CResourceManager.h"
#include "ui/FileDialog.h"
#include "ui/WindowImplBase.h"
#include "ui/WindowMessages.h"

namespace talyx {
namespace {

// The function rail, in the order of the tabs of "device_function_switch".
const char* const kFunctionOptions[] = {"device_function_key", "device_function_light", "device_function_macro",
                                        "device_function_setting"};
constexpr int kFunctionLighting = 1;
constexpr int kFunctionMacro = 2;
// The key picture shows the key buttons (tab 0) or the light buttons (tab 1).
constexpr const char* kPictureTabs = "keyboard_key_light_tab";
constexpr int kCustomMode = 20;

QString text(const std::string& key) {
    return CResourceManager::GetInstance().GetText(QString::fromStdString(key));
}

using StatusKind = WindowImplBase::StatusKind;

} // namespace

KeyboardPage::KeyboardPage(CDevicePageUI* page, CKestravaKeyboardDevice* device, WindowImplBase* window)
    : QObject(page), m_page(page), m_device(device), m_window(window) {
    // A key picked in one profile is not the key of the next.
    m_bar =
        std::make_unique<ProfileBar>(page, device->ProfileFolder(), device, window, [this] { clearKeySelection(); });
    // Scripts that take pictures of a page may open it on another function.
    m_function = qBound(0, qEnvironmentVariableIntValue("TALYX_START_FUNCTION"), 3);
    bindEditors();
}

void KeyboardPage::bindEditors() {
    // The macro page first: the key assignment page lists its macros.
    m_macros = dynamic_cast<CMacroControlUI*>(find(QStringLiteral("MacroControlItem")));
    if (m_macros) {
        m_macros->SetHost(this);
        m_macros->SetFolder(m_device->ProfileFolder());
        m_macros->LoadLibrary();
    }
    m_keySet = dynamic_cast<CKeySetControlUI*>(find(QStringLiteral("KeySetControlItem")));
    if (m_keySet) {
        m_keySet->SetHost(this);
        m_keySet->Setup();
        m_keySet->SetFamily(CKeySetControlUI::kFamilyKeyboard);
        m_keySet->SetMacroNames(m_macros ? m_macros->Names() : m_device->MacroNames());
    }
}

void KeyboardPage::showSelectedKey() {
    const int slot = m_device->FirstSelection();
    if (!m_keySet || slot < 0 || slot >= kKeySlots)
        return;
    const KeyList& keys = m_device->Profile().CachedKeyList();
    if (static_cast<size_t>(slot) < keys.size())
        m_keySet->ShowAssignment(keys[slot].code(), keys[slot].defaultCode());
    else
        m_keySet->ShowAssignment(kKeySlotTable[slot], kKeySlotTable[slot]);
}

bool KeyboardPage::storeAssignment(uint32_t code) {
    return m_device->StoreAssignment(code);
}

void KeyboardPage::assignmentsChanged() {
    refreshCaptions();
}

void KeyboardPage::writeToKeyboard(std::function<void(int macros, int result)> done) {
    QPointer<KeyboardPage> self(this);
    m_device->WriteKeyPage([self, done = std::move(done)](const CKestravaKeyboardDevice::KeyPageWrite& w) {
        // The status line says it either way; a failure also gets the key page's message.
        if (self) {
            if (w.macros == 0 && w.result == kResultSuccess)
                self->status("status_saved_to_keyboard", {}, StatusKind::Success);
            else
                self->status("status_write_failed", {}, StatusKind::Error);
        }
        if (done)
            done(w.macros, w.result);
    });
}

void KeyboardPage::showMessage(const QString& textKey, const int* value) {
    if (value)
        CMsgWnd::MessageBoxFormatted(m_window, textKey, *value);
    else
        CMsgWnd::MessageBox(m_window, textKey);
}

void KeyboardPage::libraryChanged() {
    m_device->LoadLists();
    if (m_keySet && m_macros)
        m_keySet->SetMacroNames(m_macros->Names());
    refreshCaptions();
    showSelectedKey();
}

int KeyboardPage::usesInCurrentProfile(size_t index) {
    int uses = 0;
    for (const KeyRecord& k : m_device->Profile().CachedKeyList())
        if ((k.type == kAssignMacroPlayMode || k.type == kAssignMacroRepeat) && k.high == index)
            ++uses;
    return uses;
}

void KeyboardPage::profilesRenumbered(const std::vector<std::string>& changed) {
    const std::string current = m_device->CurrentProfileUuid();
    if (std::find(changed.begin(), changed.end(), current) == changed.end())
        return;
    // The current profile was rewritten on disk: load it again and give the keyboard the
    // image and the assignments in their new numbering.
    m_device->ApplyProfile(current);
    refreshCaptions();
    showSelectedKey();
}

bool KeyboardPage::HandleMenuChoice(const QString& name) {
    return m_macros && m_function == kFunctionMacro && m_macros->HandleMenuChoice(name);
}

KeyboardPage::~KeyboardPage() = default;

CControlUI* KeyboardPage::find(const QString& name) const {
    return m_page ? m_page->FindSubControl(name) : nullptr;
}

void KeyboardPage::Start(std::function<void(int)> done) {
    m_bar->Profiles().Initialise();
    ShowFunction(m_function);
    m_device->PageStart(m_bar->Profiles().CurrentUUID(), true, std::move(done));
}

void KeyboardPage::ReloadProfiles() {
    m_bar->Profiles().Initialise();
    m_device->ApplyProfile(m_bar->Profiles().CurrentUUID());
}

void KeyboardPage::Refresh() {
    m_showing = true;
    refreshCaptions();
    // Another profile, or the keyboard's own changes: the key page shows the selected key
    // as it is now.
    if (m_keySet && m_keySet->IsVisible())
        showSelectedKey();
    if (m_page)
        m_page->RefreshLighting();
    refreshSettings();
    m_showing = false;
}

void KeyboardPage::ShowFunction(int function) {
    if (function != m_function)
        clearKeySelection();
    m_function = function;
    if (auto* tabs = qobject_cast<CTabLayoutUI*>(find(QStringLiteral("device_function_switch"))))
        tabs->SelectItem(function);
    if (auto* picture = qobject_cast<CTabLayoutUI*>(find(QString::fromLatin1(kPictureTabs))))
        picture->SelectItem(function == kFunctionLighting ? 1 : 0);
    if (auto* option = qobject_cast<COptionUI*>(find(QString::fromLatin1(kFunctionOptions[function]))))
        option->Selected(true, false);
}

void KeyboardPage::refreshCaptions() {
    auto shown = [](const KeyCaption& c) {
        QString caption = QString::fromStdString(c.text);
        if (caption.isEmpty()) {
            QStringList parts;
            for (const std::string& key : c.keys)
                parts.append(text(key));
            caption = parts.join(QLatin1Char('+'));
        }
        return caption;
    };
    const std::vector<KeyCaption> captions = m_device->KeyCaptions();
    for (size_t slot = 0; slot < captions.size(); ++slot) {
        if (CControlUI* button = find(QStringLiteral("key_%1").arg(slot)))
            button->SetText(shown(captions[slot]));
        // The lighting view names each key by what is printed on it, in the user's language.
        if (CControlUI* light = find(QStringLiteral("light_%1").arg(slot)))
            light->SetText(shown(CaptionForAssignment(kKeySlotTable[slot], kKeySlotTable[slot], {})));
    }
}

void KeyboardPage::refreshSettings() {
    const KeyboardSettings s = m_device->CurrentSettings();
    auto select = [this](const char* prefix, int index) {
        if (auto* o = qobject_cast<COptionUI*>(find(QString::fromLatin1(prefix) + QString::number(index))))
            o->Selected(true, false);
    };
    select(kReportRateOptionPrefix, ShownOptionIndex(s.pollingRate));
    select(kRepeatDelayOptionPrefix, ShownOptionIndex(s.repeatDelay));
    const std::pair<const char*, int> switches[] = {
        {kWinLockOption, s.winFlag}, {kWFlagOption, s.wFlag}, {kSixKeyOption, s.key6Flag}};
    for (const auto& [name, value] : switches)
        if (auto* o = qobject_cast<COptionUI*>(find(QString::fromLatin1(name))))
            o->Selected(value != 0, false);
    if (auto* slider = qobject_cast<CProgressUI*>(find(QString::fromLatin1(kRepeatRateSlider))))
        slider->SetValue(s.repeat);
    if (CControlUI* label = find(QString::fromLatin1(kRepeatDelayLabel)))
        label->SetText(
            QString::fromStdString(RepeatDelayLabelText(text(kRepeatDelayTextKey).toStdString(), s.repeatDelay)));
    if (auto* box = qobject_cast<CEditUI*>(find(QString::fromLatin1(kRepeatTestBox)))) {
        box->SetText(QString());
        box->SetAttribute(QStringLiteral("prompttext"), text(kRepeatTestPromptKey));
    }
}

bool KeyboardPage::HandleNotify(TNotifyUI& msg) {
    CControlUI* sender = msg.pSender;
    if (!sender || m_showing)
        return false;
    const QString name = sender->GetName();
    const QString& type = msg.sType;
    for (int i = 0; i < 4; ++i) {
        if (name == QLatin1String(kFunctionOptions[i])) {
            if (type == notify::kSelectChanged && msg.wParam)
                ShowFunction(i);
            return true;
        }
    }
    static const QRegularExpression kSlotButton(QStringLiteral("^(key|light)_(\\d+)$"),
                                                QRegularExpression::CaseInsensitiveOption);
    const auto slot = kSlotButton.match(name);
    if (slot.hasMatch() && type == notify::kClick) {
        const int n = slot.captured(2).toInt();
        m_device->SelectSlot(n);
        if (slot.captured(1).compare(QLatin1String("key"), Qt::CaseInsensitive) == 0)
            showSelectedKey();
        if (slot.captured(1).compare(QLatin1String("light"), Qt::CaseInsensitive) == 0 &&
            m_device->CurrentModeValue() == kCustomMode)
            m_device->PaintKey(n);
        return true;
    }
    if ((m_keySet && m_keySet->HandleNotify(msg)) || (m_macros && m_macros->HandleNotify(msg)))
        return true;
    if (m_bar->HandleNotify(sender, type) || onSettingControl(sender, type))
        return true;
    return false;
}

bool KeyboardPage::onSettingControl(CControlUI* sender, const QString& type) {
    const QString name = sender->GetName();
    if (name == QLatin1String(kResetRepeatButton)) {
        if (type == notify::kClick)
            if (CControlUI* box = find(QString::fromLatin1(kRepeatTestBox)))
                box->SetText(QString());
        return true;
    }
    SettingControl control;
    int option = 0;
    if (!SettingControlForName(name.toStdString(), control, option))
        return false;
    int value = -1;
    if (control == SettingControl::RepeatRate) {
        if (type == notify::kValueChanged)
            value = qobject_cast<CProgressUI*>(sender)->GetValue();
    } else if (control == SettingControl::ReportRate || control == SettingControl::RepeatDelay) {
        if (type == notify::kSelectChanged && qobject_cast<COptionUI*>(sender)->IsSelected())
            value = option;
    } else if (type == notify::kSelectChanged) {
        value = qobject_cast<COptionUI*>(sender)->IsSelected() ? 1 : 0;
    }
    if (value < 0)
        return true;
    const bool reachesKeyboard = SettingReachesKeyboard(control);
    QPointer<KeyboardPage> self(this);
    m_device->ChangeSetting(control, value, [self, reachesKeyboard](int result) {
        if (!self)
            return;
        if (result != kResultSuccess)
            self->status("status_write_failed", {}, StatusKind::Error);
        else
            self->status(reachesKeyboard ? "status_saved_to_keyboard" : "status_setting_saved", {},
                         StatusKind::Success);
    });
    if (control == SettingControl::RepeatDelay)
        refreshSettings();
    return true;
}

void KeyboardPage::status(const char* textId, const QStringList& args, WindowImplBase::StatusKind kind) {
    if (m_window)
        m_window->ShowStatus(QString::fromLatin1(textId), args, kind);
}

void KeyboardPage::clearKeySelection() {
    // A key picked on one tab or in one profile is not the key of the next: its outline
    // goes, and so does the slot the editors would act on.
    if (m_page)
        for (CDeviceKeyButtonUI* key : m_page->findChildren<CDeviceKeyButtonUI*>())
            if (key->IsSelected())
                key->Selected(false, false);
    m_device->SelectSlot(-1);
}

} // namespace talyx
