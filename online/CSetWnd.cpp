#include "online/CSetWnd.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include "online/CUpdateInfoListItemUI.h"
#include "online/CUpdateRingUI.h"
#include "platform/Autostart.h"
#include "platform/Debug.h"
#include "ui/CContainerUI.h"
#include "ui/CDialogBuilder.h"
#include "ui/CListUI.h"
#include "ui/CMsgWnd.h"
#include "ui/COptionUI.h"
#include "ui/CResourceManager.h"
#include "ui/WindowMessages.h"

namespace talyx {
namespace {

constexpr const char* kItemLayout = "XML\\CustomControlXML\\device_Update_list_item.xml";

// Indexed by the page state.
constexpr const char* kPageTextKeys[] = {"GetUpdateInfoText", "HaveUpdateInfoText", "NoUpdateInfoText",
                                         "ISUpdateINGText", "UpdateIsLastText"};

std::function<bool(const QString&)>& opener() {
    static std::function<bool(const QString&)> f;
    return f;
}

QString text(const char* key) {
    return CResourceManager::GetInstance().GetText(QString::fromLatin1(key));
}

} // namespace

CSetWnd::CSetWnd(MessageTarget* owner, uint32_t updateStateMessage, std::vector<UpdateRow> rows, QStringList languages,
                 int currentLanguage, UpdateTimings timings)
    : m_owner(owner), m_updateStateMessage(updateStateMessage), m_languages(std::move(languages)),
      m_currentLanguage(currentLanguage), m_session(std::move(rows), *this, timings) {}

CSetWnd::~CSetWnd() {
    // Destroying the window first releases a worker that waits for this thread.
    Close();
    m_session.Stop();
}

UpdateTimings& CSetWnd::Timings() {
    static UpdateTimings timings;
    return timings;
}

void CSetWnd::SetOpenerForTests(std::function<bool(const QString& path)> f) {
    opener() = std::move(f);
}

void CSetWnd::InitWindow() {
    auto* list = qobject_cast<CContainerUI*>(FindControl(QStringLiteral("update_list")));
    for (int i = 0; list && i < m_session.Count(); ++i) {
        CDialogBuilder builder;
        auto* item =
            qobject_cast<CUpdateInfoListItemUI*>(builder.Create(QString::fromLatin1(kItemLayout), this, &m_pm));
        if (!item) {
            DebugOutput("update list item could not be built");
            break;
        }
        item->SetTag(static_cast<uintptr_t>(i));
        list->Add(item);
        m_items.push_back(item);
        showItem(i);
    }
    if (auto* languages = qobject_cast<CListUI*>(FindControl(QStringLiteral("language_list")))) {
        for (const QString& name : m_languages) {
            auto* row = new CListLabelElementUI;
            row->SetText(name);
            row->SetFixedHeight(40);
            row->SetFont(7);
            row->SetTextPadding(QMargins(16, 0, 0, 0));
            row->setAccessibleName(name);
            languages->Add(row);
        }
        languages->SelectItem(m_currentLanguage, false, false);
    }
    showAutostart();
    showPage();
    refreshTexts();
}

CControlUI* CSetWnd::CreateControl(const QString& className) {
    if (className.compare(QLatin1String("UpdateRing"), Qt::CaseInsensitive) == 0)
        return new CUpdateRingUI;
    return nullptr;
}

void CSetWnd::SelectPage(int page) {
    if (auto* tab = qobject_cast<CTabLayoutUI*>(FindControl(QStringLiteral("setwnd_tab"))))
        tab->SelectItem(page);
    relayoutLists();
    const char* option = page == kPageLanguage ? "set_tab_general" : "set_tab_update";
    if (auto* o = qobject_cast<COptionUI*>(FindControl(QString::fromLatin1(option))))
        o->Selected(true, false);
}

void CSetWnd::showEvent(QShowEvent* event) {
    WindowImplBase::showEvent(event);
    relayoutLists();
}

// A scrolling list sized while its page was hidden measured a viewport that was not laid
// out yet; once the page shows, the lists take their real width.
void CSetWnd::relayoutLists() {
    QTimer::singleShot(0, this, [this] {
        for (const char* name : {"update_list", "language_list"})
            if (auto* list = qobject_cast<CContainerUI*>(FindControl(QString::fromLatin1(name))))
                list->NeedUpdate();
    });
}

void CSetWnd::PlaceBeside(QWidget* mainWindow) {
    if (!mainWindow || !mainWindow->isVisible() || mainWindow->isMinimized()) {
        CenterWindow();
        return;
    }
    const QRect main = mainWindow->frameGeometry();
    move(main.right() + 1 - m_pm.Scale(30) - width(), main.top() + m_pm.Scale(60));
}

int CSetWnd::itemIndexOf(CControlUI* control) const {
    for (QWidget* w = control; w; w = w->parentWidget())
        if (auto* item = qobject_cast<CUpdateInfoListItemUI*>(w))
            return static_cast<int>(item->GetTag());
    return -1;
}

void CSetWnd::Notify(TNotifyUI& msg) {
    if (msg.sType == notify::kWindowInit) {
        m_session.Start();
        return;
    }
    if (!msg.pSender)
        return;
    const QString name = msg.pSender->GetName();
    if (msg.sType == notify::kClick) {
        auto* tab = qobject_cast<CTabLayoutUI*>(FindControl(QStringLiteral("get_update_tab_layout")));
        if (name == QLatin1String("setwnd_close") || name == QLatin1String("closebtn")) {
            Close();
        } else if (name == QLatin1String("update_fw_and_ap")) {
            if (tab && m_session.UpdateOffered())
                tab->SelectItem(1);
        } else if (name == QLatin1String("update_cancel_btn")) {
            if (tab)
                tab->SelectItem(0);
        } else if (name == QLatin1String("update_OK_btn")) {
            m_session.StartUpdate();
            if (CControlUI* update = FindControl(QStringLiteral("update_fw_and_ap")))
                update->SetEnabled(false);
            if (tab)
                tab->SelectItem(0);
        } else if (name == QLatin1String("set_in_update_wnd_btn")) {
            if (CControlUI* hint = FindControl(QStringLiteral("update_tishi_layout")))
                hint->SetVisible(false);
            resize(m_pm.Scale(630), m_pm.Scale(500));
        }
    } else if (msg.sType == notify::kSelectChanged) {
        if (name == QLatin1String("check_name_select")) {
            auto* box = qobject_cast<COptionUI*>(msg.pSender);
            const int index = itemIndexOf(msg.pSender);
            if (box && !m_session.SetTicked(index, box->IsSelected()))
                showItem(index);
            showPage();
        } else if (name == QLatin1String("set_autostart_check")) {
            changeAutostart(static_cast<COptionUI*>(msg.pSender)->IsSelected());
        } else if (name == QLatin1String("set_tab_update") || name == QLatin1String("set_tab_general")) {
            if (static_cast<COptionUI*>(msg.pSender)->IsSelected())
                SelectPage(name == QLatin1String("set_tab_general") ? kPageLanguage : kPageUpdate);
        }
    } else if (msg.sType == notify::kItemSelect && name == QLatin1String("language_list")) {
        const int index = static_cast<int>(msg.wParam);
        if (index >= 0 && index != m_currentLanguage && m_owner) {
            m_currentLanguage = index;
            m_owner->sendMessage(kMsgSelectLanguage, static_cast<WPARAM>(index), 0);
        }
    }
}

// The check box shows whether the session's autostart entry is there, as the files have
// it: the user or the desktop may have changed it while the window was closed.
void CSetWnd::showAutostart() {
    if (auto* box = qobject_cast<COptionUI*>(FindControl(QStringLiteral("set_autostart_check"))))
        box->Selected(IsAutostartEnabled(), false);
}

void CSetWnd::changeAutostart(bool enabled) {
    std::string error;
    if (SetAutostartEnabled(enabled, &error))
        return;
    DebugOutput("autostart: " + error);
    showAutostart();
    CMsgWnd::MessageBox(this, QStringLiteral("set_autostart_failed_text"));
}

void CSetWnd::showItem(int index) {
    if (index < 0 || index >= static_cast<int>(m_items.size()))
        return;
    m_items[static_cast<size_t>(index)]->Show(m_session.Item(index));
}

void CSetWnd::showPage() {
    const int state = m_session.PageState();
    QString status = text(kPageTextKeys[state >= 0 && state <= kPageUpToDate ? state : 0]);
    if (state == kPageUpToDate)
        status += QLatin1Char(' ') + QString::fromStdString(m_session.LastCheckDate());
    if (CControlUI* label = FindControl(QStringLiteral("Update_Status_text"))) {
        label->SetText(status);
        label->setAccessibleName(status);
    }
    if (auto* ring = qobject_cast<CUpdateRingUI*>(FindControl(QStringLiteral("update_status_ring"))))
        ring->SetSpinning(state == kPageChecking);
    if (CControlUI* mark = FindControl(QStringLiteral("update_status_mark")))
        mark->SetVisible(state == kPageUpToDate);
    const bool offered = m_session.UpdateOffered();
    if (CControlUI* update = FindControl(QStringLiteral("update_fw_and_ap"))) {
        update->SetEnabled(offered);
        update->SetVisible(offered);
    }
    if (CControlUI* empty = FindControl(QStringLiteral("update_list_empty")))
        empty->SetVisible(m_items.empty());
}

// Every control gets an accessible name: its text, else its tool tip.
void CSetWnd::refreshTexts() {
    for (CControlUI* c : findChildren<CControlUI*>()) {
        if (qobject_cast<CUpdateInfoListItemUI*>(c) || itemIndexOf(c) >= 0)
            continue;
        const QString name = !c->GetText().isEmpty() ? c->GetText() : c->toolTip();
        if (!name.isEmpty())
            c->setAccessibleName(name);
    }
    if (CControlUI* ring = FindControl(QStringLiteral("update_status_ring")))
        ring->setAccessibleName(text("GetUpdateInfoText"));
    setWindowTitle(text("setwnd_title"));
}

LRESULT CSetWnd::HandleMessage(uint32_t msg, WPARAM wParam, LPARAM lParam) {
    if (msg == m_updateStateMessage && msg) {
        m_session.OnUpdateState(static_cast<uint32_t>(wParam), static_cast<int64_t>(lParam));
        return 0;
    }
    switch (msg) {
    case kMsgItemChanged:
        showItem(static_cast<int>(wParam));
        showPage();
        return 0;
    case kMsgPageChanged:
        showPage();
        return 0;
    case kMsgUpdateFailed:
        CMsgWnd::MessageBox(this, QStringLiteral("update_failed_text"));
        return 0;
    case kMsgOpenPackage: {
        const QString path = QString::fromStdString(*reinterpret_cast<const std::string*>(wParam));
        const bool opened = opener() ? opener()(path) : QDesktopServices::openUrl(QUrl::fromLocalFile(path));
        DebugOutput(std::string("update: application package ") + (opened ? "opened" : "not opened"));
        return opened ? 1 : 0;
    }
    case kMsgSelectLanguage:
        // The texts came back from the language table; the composed ones are made again.
        for (int i = 0; i < static_cast<int>(m_items.size()); ++i)
            showItem(i);
        showPage();
        refreshTexts();
        update();
        return 0;
    case WM_DPICHANGED:
        m_pm.SetDPI(static_cast<int>(wParam & 0xFFFF));
        m_pm.ResetDPIAssets();
        update();
        return 0;
    case WM_DESTROY:
        m_session.Stop();
        return 0;
    default:
        return WindowImplBase::HandleMessage(msg, wParam, lParam);
    }
}

void CSetWnd::ItemChanged(int index) {
    postMessage(kMsgItemChanged, static_cast<WPARAM>(index), 0);
}
void CSetWnd::PageStateChanged(int state) {
    postMessage(kMsgPageChanged, static_cast<WPARAM>(state), 0);
}
void CSetWnd::UpdateFailed() {
    postMessage(kMsgUpdateFailed, 0, 0);
}

void CSetWnd::AllUpToDate() {
    if (m_owner)
        m_owner->postMessage(kMsgClearSetButton, 0, 0);
}

bool CSetWnd::OpenApplicationPackage(const std::string& path) {
    return sendMessage(kMsgOpenPackage, reinterpret_cast<WPARAM>(&path), 0) != 0;
}

} // namespace talyx
