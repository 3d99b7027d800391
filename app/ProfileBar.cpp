#include "app/ProfileBar.h"

#include <QCursor>
#include <QFileInfo>

#include "app/AppLinkSwitcher.h"
#include "app/CMainWnd.h"

#include "profile/FileExchange.h"
#include "profile/ProfileTransfer.h"
#include "ui/CComboUI.h"
#include "ui/CMsgWnd.h"
#include "ui/CResourceManager.h"
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
    } else if (name == QLatin1String("device_profile_link_btn")) {
        if (QMenu* menu = BuildLinkMenu()) {
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(QCursor::pos());
        }
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
    showLink();
}

AppLinkSwitcher* ProfileBar::follower() const {
    CMainWnd* main = CMainWnd::Instance();
    return main ? main->Follower() : nullptr;
}

void ProfileBar::showLink() {
    CControlUI* label = find(QStringLiteral("device_profile_link_label"));
    if (!label)
        return;
    const std::string link = m_profiles->LinkOf(m_profiles->Selected());
    QString shown = QString::fromStdString(link);
    if (AppLinkSwitcher* f = follower())
        if (const DesktopApplication* app = f->Catalog().Find(link))
            shown = QString::fromStdString(app->name);
    label->SetText(CResourceManager::GetInstance().GetText(QStringLiteral("profile_link_shown")).arg(shown));
    label->SetToolTip(QString::fromStdString(link));
    label->SetVisible(!link.empty());
}

bool ProfileBar::Link(const std::string& application) {
    const int selected = m_profiles->Selected();
    if (!m_profiles->SetLink(selected, application)) {
        status("status_profile_not_saved", {SelectedName()}, StatusKind::Error);
        return false;
    }
    showLink();
    const std::string link = m_profiles->LinkOf(selected);
    if (link.empty())
        status("status_profile_unlinked", {SelectedName()}, StatusKind::Success);
    else
        status("status_profile_linked", {SelectedName(), QString::fromStdString(link)}, StatusKind::Success);
    return true;
}

QMenu* ProfileBar::BuildLinkMenu() {
    if (m_profiles->Selected() < 0)
        return nullptr;
    CResourceManager& texts = CResourceManager::GetInstance();
    auto* menu = new QMenu;
    menu->setObjectName(QStringLiteral("device_profile_link_menu"));
    menu->setStyleSheet(QStringLiteral("QMenu{background:#1b1f28;color:#e8eaf0;border:1px solid #2f3542;padding:4px;}"
                                       "QMenu::item{padding:6px 22px;border-radius:3px;}"
                                       "QMenu::item:selected{background:#00a8d8;color:#0b0d12;}"
                                       "QMenu::item:disabled{color:#6e778a;}"
                                       "QMenu::separator{height:1px;background:#2f3542;margin:4px 8px;}"));
    QPointer<CControlUI> page(m_page);
    auto add = [&](QMenu* to, const QString& text, const QString& name, const std::string& link) {
        QAction* action = to->addAction(text);
        action->setObjectName(name);
        QObject::connect(action, &QAction::triggered, menu, [this, page, link] {
            if (page)
                Link(link);
        });
    };
    AppLinkSwitcher* f = follower();
    if (f && !f->LastForeign().IsEmpty()) {
        const FocusedApplication& last = f->LastForeign();
        const std::string link = f->Catalog().LinkNameOf(last);
        const DesktopApplication* known = f->Catalog().Find(link);
        const QString shown = QString::fromStdString(known ? known->name : link);
        add(menu, texts.GetText(QStringLiteral("profile_link_last")).arg(shown), QStringLiteral("link_last"), link);
        menu->addSeparator();
    }
    auto fillApps = [&](QMenu* to, const std::vector<const DesktopApplication*>& apps) {
        if (apps.empty()) {
            to->addAction(texts.GetText(QStringLiteral("profile_link_none")))->setEnabled(false);
            return;
        }
        for (const DesktopApplication* app : apps)
            add(to, QString::fromStdString(app->name), QStringLiteral("link_app:") + QString::fromStdString(app->id),
                app->id);
    };
    std::vector<const DesktopApplication*> running, installed;
    if (f) {
        const ApplicationCatalog& catalog = f->Catalog();
        for (const std::string& id : catalog.Running())
            if (const DesktopApplication* app = catalog.Find(id))
                running.push_back(app);
        for (const DesktopApplication& app : catalog.Applications())
            installed.push_back(&app);
    }
    QMenu* runningMenu = menu->addMenu(texts.GetText(QStringLiteral("profile_link_running")));
    runningMenu->setObjectName(QStringLiteral("link_running"));
    fillApps(runningMenu, running);
    QMenu* installedMenu = menu->addMenu(texts.GetText(QStringLiteral("profile_link_installed")));
    installedMenu->setObjectName(QStringLiteral("link_installed"));
    fillApps(installedMenu, installed);
    if (!m_profiles->LinkOf(m_profiles->Selected()).empty()) {
        menu->addSeparator();
        add(menu, texts.GetText(QStringLiteral("profile_link_remove")), QStringLiteral("link_remove"), std::string());
    }
    return menu;
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
