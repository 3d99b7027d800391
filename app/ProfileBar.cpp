#include "app/ProfileBar.h"

#include <QFileInfo>

#include "profile/FileExchange.h"
#include "profile/ProfileTransfer.h"
#include "ui/CComboUI.h"
#include "ui/CMsgWnd.h"
#include "ui/FileDialog.h"
#include "ui/UIDefs.h"
#include "ui/WindowMessages.h"

namespace talyx {
namespace {

using StatusKind = WindowImplBase::StatusKind;

QString filterOf(const FileDialogFilter& f) {
    return QStringLiteral("%1|%2||").arg(QString::fromLatin1(f.description), QString::fromLatin1(f.patterns));
}

// Exported profiles get this extension when the user types none, so the import dialog,
// which lists "*.json", finds them.
constexpr const char* kProfileFileExtension = "json";

// The questions that name the profile they act on ("%s").
const char* namedQuestion(const std::string& textKey) {
    if (textKey == kConfirmCopyProfileText)
        return "profile_confirm_copy";
    if (textKey == kConfirmDeleteProfileText)
        return "profile_confirm_delete";
    return nullptr;
}

} // namespace

ProfileBar::ProfileBar(CControlUI* page, const std::string& folder, IProfileTarget* target, WindowImplBase* window,
                       std::function<void()> applied)
    : m_page(page), m_profiles(std::make_unique<ProfileList>(folder)), m_target(target), m_window(window),
      m_applied(std::move(applied)) {
    m_profiles->SetView(this);
    m_combo = qobject_cast<CComboUI*>(find(QStringLiteral("device_profile_combo")));
    if (CControlUI* menu = find(QStringLiteral("profile_menu_layout")))
        menu->SetVisible(false);
}

ProfileBar::~ProfileBar() {
    m_profiles->SetView(nullptr);
}

CControlUI* ProfileBar::find(const QString& name) const {
    return m_page ? m_page->FindSubControl(name) : nullptr;
}

void ProfileBar::applied() {
    if (m_applied)
        m_applied();
}

void ProfileBar::status(const char* textId, const QStringList& args, StatusKind kind) {
    if (m_window)
        m_window->ShowStatus(QString::fromLatin1(textId), args, kind);
}

QString ProfileBar::SelectedName() const {
    const int selected = m_profiles->Selected();
    const std::vector<std::string>& names = m_profiles->Names();
    return selected >= 0 && selected < static_cast<int>(names.size())
               ? QString::fromStdString(names[static_cast<size_t>(selected)])
               : QString();
}

void ProfileBar::Initialise(int deviceType) {
    m_profiles->Initialise();
    const ProfileTabRule rule = TabsForDeviceType(deviceType);
    for (const std::string& name : rule.hidden)
        if (CControlUI* tab = find(QString::fromStdString(name)))
            tab->SetVisible(false);
    for (const std::string& name : rule.shown)
        if (CControlUI* tab = find(QString::fromStdString(name)))
            tab->SetVisible(true);
}

bool ProfileBar::HandleNotify(CControlUI* sender, const QString& type) {
    const QString name = sender->GetName();
    if (!name.startsWith(QLatin1String("device_profile_")) || !m_page || !m_page->isAncestorOf(sender))
        return false;
    if (name == QLatin1String("device_profile_combo")) {
        if (type == notify::kItemSelect && m_target)
            Switch(qobject_cast<CComboUI*>(sender)->GetCurSel(), *this);
        return true;
    }
    if (type != notify::kClick)
        return true;
    m_confirmed = false;
    if (name == QLatin1String("device_profile_menu_btn")) {
        if (CControlUI* menu = find(QStringLiteral("profile_menu_layout")))
            menu->SetVisible(!menu->IsVisible());
    } else if (name == QLatin1String("device_profile_new_btn")) {
        if (!New(*this) && m_confirmed) {
            CMsgWnd::MessageBoxFormatted(m_window, QStringLiteral("message_profile_limit"), ProfileList::kMaxProfiles);
        }
    } else if (name == QLatin1String("device_profile_copy_btn")) {
        if (!Copy(*this) && m_confirmed)
            status("status_profile_not_saved", {SelectedName()}, StatusKind::Error);
    } else if (name == QLatin1String("device_profile_delete_btn")) {
        const QString gone = SelectedName();
        if (!Delete(*this) && m_confirmed) {
            if (m_profiles->ItemCount() <= 1)
                CMsgWnd::MessageBox(m_window, QStringLiteral("message_last_profile"));
            else
                status("status_profile_not_saved", {gone}, StatusKind::Error);
        }
    } else if (name == QLatin1String("device_profile_rename_btn")) {
        if (CControlUI* edit = find(QStringLiteral("device_profile_name_edit")))
            Rename(edit->GetText().toStdString(), *this);
    } else if (name == QLatin1String("device_profile_import_btn")) {
        importFile();
    } else if (name == QLatin1String("device_profile_export_btn")) {
        exportFile();
    }
    return true;
}

int ProfileBar::Switch(int index, IProfilePrompt& prompt) {
    if (!m_target)
        return -1;
    const int answer = SwitchProfile(*m_profiles, index, prompt, *m_target);
    applied();
    if (answer == 0)
        status("status_profile_switched", {SelectedName()}, StatusKind::Success);
    else
        status("status_profile_apply_failed", {SelectedName()}, StatusKind::Error);
    return answer;
}

bool ProfileBar::New(IProfilePrompt& prompt) {
    if (!RunNewProfile(*m_profiles, prompt, m_target))
        return false;
    applied();
    status("status_profile_created", {SelectedName()}, StatusKind::Success);
    return true;
}

bool ProfileBar::Copy(IProfilePrompt& prompt) {
    const QString source = SelectedName();
    if (!RunCopyProfile(*m_profiles, prompt))
        return false;
    status("status_profile_copied", {source, QString::fromStdString(m_profiles->Names().back())}, StatusKind::Success);
    return true;
}

bool ProfileBar::Delete(IProfilePrompt& prompt) {
    const QString gone = SelectedName();
    if (!RunDeleteProfile(*m_profiles, prompt, m_target))
        return false;
    applied();
    status("status_profile_deleted", {gone, SelectedName()}, StatusKind::Success);
    return true;
}

ProfileList::RenameResult ProfileBar::Rename(const std::string& name, IProfilePrompt& prompt) {
    const ProfileList::RenameResult result = RunRenameProfile(*m_profiles, name, prompt);
    if (result == ProfileList::kRenamed)
        status("status_profile_renamed", {SelectedName()}, StatusKind::Success);
    return result;
}

bool ProfileBar::Import(const QString& path) {
    if (ImportProfile(*m_profiles, path.toStdString())) {
        status("status_profile_imported", {QString::fromStdString(m_profiles->Names().back())}, StatusKind::Success);
        return true;
    }
    status("status_import_failed", {QFileInfo(path).fileName()}, StatusKind::Error);
    return false;
}

bool ProfileBar::Export(const QString& path) {
    if (ExportProfile(*m_profiles, path.toStdString())) {
        status("status_profile_exported", {SelectedName(), path}, StatusKind::Success);
        return true;
    }
    status("status_export_failed", {path}, StatusKind::Error);
    return false;
}

void ProfileBar::importFile() {
    const QString path =
        FileDialog::GetOpenFileName(m_window, filterOf(kProfileFileFilter), QString::fromLatin1(kProfileFileExtension));
    if (path.isEmpty())
        return;
    if (Import(path))
        return;
    // Nothing was added; the user learns why nothing appeared.
    CMsgWnd::MessageBoxFormatted(m_window, QStringLiteral("message_import_failed"), path);
}

void ProfileBar::exportFile() {
    const QString path = FileDialog::GetSaveFileName(m_window, filterOf(kProfileFileFilter),
                                                     QString::fromLatin1(kProfileFileExtension), SelectedName());
    if (path.isEmpty())
        return;
    if (Export(path))
        return;
    CMsgWnd::MessageBoxFormatted(m_window, QStringLiteral("message_export_failed"), path);
}

void ProfileBar::OnItemsReset(const std::vector<std::string>& names) {
    if (!m_combo)
        return;
    m_combo->RemoveAll();
    for (const std::string& n : names)
        m_combo->AddItem(QString::fromStdString(n));
}

void ProfileBar::OnItemAppended(const std::string& name) {
    if (m_combo)
        m_combo->AddItem(QString::fromStdString(name));
}

void ProfileBar::OnItemRemoved(int index) {
    if (m_combo)
        m_combo->Remove(m_combo->GetItemAt(index));
}

void ProfileBar::OnItemRenamed(int index, const std::string& name) {
    if (!m_combo || !m_combo->GetItemAt(index))
        return;
    m_combo->GetItemAt(index)->SetText(QString::fromStdString(name));
    m_combo->ReloadText();
}

void ProfileBar::OnItemSelected(int index, const std::string& name, bool raiseEvent) {
    if (m_combo)
        m_combo->SelectItem(index, false, raiseEvent);
    if (CControlUI* edit = find(QStringLiteral("device_profile_name_edit")))
        edit->SetText(QString::fromStdString(name));
}

bool ProfileBar::Confirm(const std::string& textKey) {
    if (const char* named = namedQuestion(textKey))
        m_confirmed = CMsgWnd::MessageBoxFormatted(m_window, QString::fromLatin1(named), SelectedName(),
                                                   CMsgWnd::kOkCancel) == IDOK;
    else
        m_confirmed = CMsgWnd::MessageBox(m_window, QString::fromStdString(textKey), CMsgWnd::kOkCancel) == IDOK;
    return m_confirmed;
}

void ProfileBar::ShowMessage(const ProfileMessage& message) {
    if (message.hasValue)
        CMsgWnd::MessageBoxFormatted(m_window, QString::fromStdString(message.key), message.value);
    else
        CMsgWnd::MessageBox(m_window, QString::fromStdString(message.key));
}

} // namespace talyx
