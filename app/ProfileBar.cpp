#include "app/ProfileBar.h"

#include "profile/FileExchange.h"
#include "profile/ProfileTransfer.h"
#include "ui/CComboUI.h"
#include "ui/CMsgWnd.h"
#include "ui/FileDialog.h"
#include "ui/UIDefs.h"
#include "ui/WindowImplBase.h"
#include "ui/WindowMessages.h"

namespace talyx {
namespace {

QString filterOf(const FileDialogFilter& f) {
    return QStringLiteral("%1|%2||").arg(QString::fromLatin1(f.description), QString::fromLatin1(f.patterns));
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
        if (type == notify::kItemSelect && m_target) {
            SwitchProfile(*m_profiles, qobject_cast<CComboUI*>(sender)->GetCurSel(), *this, *m_target);
            applied();
        }
        return true;
    }
    if (type != notify::kClick)
        return true;
    if (name == QLatin1String("device_profile_menu_btn")) {
        if (CControlUI* menu = find(QStringLiteral("profile_menu_layout")))
            menu->SetVisible(!menu->IsVisible());
    } else if (name == QLatin1String("device_profile_new_btn")) {
        if (RunNewProfile(*m_profiles, *this, m_target))
            applied();
    } else if (name == QLatin1String("device_profile_copy_btn")) {
        RunCopyProfile(*m_profiles, *this);
    } else if (name == QLatin1String("device_profile_delete_btn")) {
        if (RunDeleteProfile(*m_profiles, *this, m_target))
            applied();
    } else if (name == QLatin1String("device_profile_rename_btn")) {
        if (CControlUI* edit = find(QStringLiteral("device_profile_name_edit")))
            RunRenameProfile(*m_profiles, edit->GetText().toStdString(), *this);
    } else if (name == QLatin1String("device_profile_import_btn")) {
        const QString path = FileDialog::GetOpenFileName(m_window, filterOf(kProfileFileFilter), QString());
        if (!path.isEmpty())
            ImportProfile(*m_profiles, path.toStdString());
    } else if (name == QLatin1String("device_profile_export_btn")) {
        const QString path = FileDialog::GetSaveFileName(
            m_window, filterOf(kProfileFileFilter), QString(),
            QString::fromStdString(m_profiles->Names().empty() ? std::string()
                                                               : m_profiles->Names()[m_profiles->Selected()]));
        if (!path.isEmpty())
            ExportProfile(*m_profiles, path.toStdString());
    }
    return true;
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
    return CMsgWnd::MessageBox(m_window, QString::fromStdString(textKey), CMsgWnd::kOkCancel) == IDOK;
}

void ProfileBar::ShowMessage(const ProfileMessage& message) {
    if (message.hasValue)
        CMsgWnd::MessageBoxFormatted(m_window, QString::fromStdString(message.key), message.value);
    else
        CMsgWnd::MessageBox(m_window, QString::fromStdString(message.key));
}

} // namespace talyx
