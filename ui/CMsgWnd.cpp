#include "ui/CMsgWnd.h"

#include <QList>

#include "ui/CControlUI.h"
#include "ui/CResourceManager.h"
#include "ui/WindowMessages.h"

namespace talyx {
namespace {

QList<int> g_answers;
QString g_lastKey;
QString g_lastText;
int g_shown = 0;

} // namespace

void CMsgWnd::SetNextAnswer(int answer) {
    g_answers.append(answer);
}
QString CMsgWnd::LastTextKey() {
    return g_lastKey;
}
QString CMsgWnd::LastText() {
    return g_lastText;
}
int CMsgWnd::ShownCount() {
    return g_shown;
}

int CMsgWnd::MessageBox(QWidget* parent, const QString& textKey, int style, const QString& titleKey) {
    return show(parent, textKey, CResourceManager::GetInstance().GetText(textKey), style, titleKey);
}

int CMsgWnd::MessageBoxFormatted(QWidget* parent, const QString& textKey, int value, int style) {
    QString body = CResourceManager::GetInstance().GetText(textKey);
    body.replace(QStringLiteral("%d"), QString::number(value));
    return show(parent, textKey, body, style, QStringLiteral("message_title"));
}

int CMsgWnd::MessageBoxFormatted(QWidget* parent, const QString& textKey, const QString& value, int style) {
    QString body = CResourceManager::GetInstance().GetText(textKey);
    body.replace(QStringLiteral("%s"), value);
    return show(parent, textKey, body, style, QStringLiteral("message_title"));
}

int CMsgWnd::show(QWidget* parent, const QString& textKey, const QString& body, int style, const QString& titleKey) {
    g_lastKey = textKey;
    g_lastText = body;
    ++g_shown;
    if (!g_answers.isEmpty())
        return g_answers.takeFirst();
    CMsgWnd wnd;
    if (!wnd.Create(parent, CResourceManager::GetInstance().GetText(titleKey)))
        return IDCANCEL;
    if (CControlUI* title = wnd.FindControl(QStringLiteral("msg_title")))
        title->SetText(CResourceManager::GetInstance().GetText(titleKey));
    if (CControlUI* text = wnd.FindControl(QStringLiteral("msg_text")))
        text->SetText(body);
    if (CControlUI* cancel = wnd.FindControl(QStringLiteral("msg_cancel")))
        cancel->SetVisible(style == kOkCancel);
    wnd.CenterWindow();
    return wnd.ShowModal();
}

LRESULT CMsgWnd::HandleMessage(uint32_t msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CLOSE) {
        Close(IDCANCEL);
        return 0;
    }
    return WindowImplBase::HandleMessage(msg, wParam, lParam);
}

void CMsgWnd::Notify(TNotifyUI& msg) {
    if (msg.sType != notify::kClick || !msg.pSender)
        return;
    const QString name = msg.pSender->GetName();
    if (name == QLatin1String("msg_ok"))
        Close(IDOK);
    else if (name == QLatin1String("msg_cancel") || name == QLatin1String("msg_close"))
        Close(IDCANCEL);
}

} // namespace talyx
