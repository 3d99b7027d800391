#include "online/CUpdateInfoListItemUI.h"

#include "ui/COptionUI.h"
#include "ui/CProgressUI.h"
#include "ui/CResourceManager.h"

namespace talyx {
namespace {

struct StateLook {
    const char* textKey;
    uint32_t color;
};

// Indexed by the list item state.
constexpr StateLook kStateLook[] = {
    {"LessUpdateText", 0xFF6E778A},   {"NeedUpdateText", 0xFF00D1FF},  {"NeedUpdateText", 0xFF00D1FF},
    {"DownloadWaitText", 0xFFB4BBC9}, {"DownloadIngText", 0xFFE8EAF0}, {"DownloadOkText", 0xFFE8EAF0},
    {"UpdateIngText", 0xFFC9B8FF},    {"UpdateOkText", 0xFF3DDC97},    {"UpdateFailText", 0xFFFF5C7A},
};

QString text(const char* key) {
    return CResourceManager::GetInstance().GetText(QString::fromLatin1(key));
}

} // namespace

QString CUpdateInfoListItemUI::StateTextKey(int state) {
    return state >= 0 && state <= kItemFailed ? QString::fromLatin1(kStateLook[state].textKey) : QString();
}

void CUpdateInfoListItemUI::Show(const UpdateItem& item) {
    m_state = item.state;
    const StateLook& look = kStateLook[item.state >= 0 && item.state <= kItemFailed ? item.state : 0];
    SetUserData(QString::fromStdString(item.url));
    const QString name = QString::fromStdString(item.name);
    if (auto* box = qobject_cast<COptionUI*>(FindSubControl(QStringLiteral("check_name_select")))) {
        box->SetText(name);
        box->Selected(item.ticked, false);
        box->SetEnabled(item.enabled);
        box->setAccessibleName(name);
    }
    const QString installed = QString::fromStdString(item.currentVersionText);
    const QString offered = QString::fromStdString(item.newVersionText);
    if (CControlUI* old = FindSubControl(QStringLiteral("OldRev"))) {
        old->SetText(installed);
        old->setAccessibleName(text("update_installed_title") + QLatin1Char(' ') + installed);
    }
    if (CControlUI* rev = FindSubControl(QStringLiteral("updateRev"))) {
        rev->SetText(item.state == kItemUpToDate ? QString() : offered);
        rev->setAccessibleName(text("update_offered_title") + QLatin1Char(' ') + rev->GetText());
    }
    const bool progressShown = item.state == kItemDownloading || (item.state == kItemUpdating && item.progress > 0);
    QString status = text(look.textKey);
    if (progressShown)
        status += QStringLiteral(" %1%").arg(item.progress);
    if (CControlUI* label = FindSubControl(QStringLiteral("update_status_text"))) {
        label->SetText(status);
        label->SetTextColor(look.color);
        label->setAccessibleName(status);
    }
    if (CControlUI* ing = FindSubControl(QStringLiteral("update_status_ing")))
        ing->SetVisible(progressShown || item.state == kItemWaiting);
    if (auto* bar = qobject_cast<CProgressUI*>(FindSubControl(QStringLiteral("update_progress_value")))) {
        bar->SetValue(item.state == kItemWaiting ? 0 : item.progress);
        bar->setAccessibleName(text("update_progress_name"));
    }
    if (CControlUI* ok = FindSubControl(QStringLiteral("update_status_ok")))
        ok->SetVisible(item.state == kItemUpToDate || item.state == kItemDownloaded);
    setAccessibleName(name + QLatin1String(": ") + status);
}

} // namespace talyx
