#pragma once

#include <QString>
#include <cstdint>

#include "platform/MessageTarget.h"

namespace talyx {

class CControlUI;
class CPaintManagerUI;

// Notification types raised by the controls. They reach the owning window's Notify.
namespace notify {
inline const QString kClick = QStringLiteral("click");
inline const QString kSelectChanged = QStringLiteral("selectchanged");
inline const QString kItemSelect = QStringLiteral("itemselect");
inline const QString kItemClick = QStringLiteral("itemclick");
inline const QString kItemActivate = QStringLiteral("itemactivate");
inline const QString kValueChanged = QStringLiteral("valuechanged");
inline const QString kMoveValueChanged = QStringLiteral("movevaluechanged");
inline const QString kWindowInit = QStringLiteral("windowinit");
inline const QString kKillFocus = QStringLiteral("killfocus");
inline const QString kSetFocus = QStringLiteral("setfocus");
inline const QString kTextChanged = QStringLiteral("textchanged");
inline const QString kReturn = QStringLiteral("return");
inline const QString kTimer = QStringLiteral("timer");
inline const QString kMenu = QStringLiteral("menu");
inline const QString kColorChanged = QStringLiteral("colorchanged");
inline const QString kMouseEnter = QStringLiteral("msenter");
inline const QString kMouseLeave = QStringLiteral("msleave");
inline const QString kCheckClick = QStringLiteral("checkclick");
inline const QString kWindowSize = QStringLiteral("windowsize");
inline const QString kClickWpAdd = QStringLiteral("click_wpadd");
inline const QString kClickWpRemove = QStringLiteral("click_wpremove");
inline const QString kClickWpEdit = QStringLiteral("click_wpedit");
inline const QString kClickWpSelect = QStringLiteral("click_wpselect");
inline const QString kClickSelectEnd = QStringLiteral("click_select_end");
} // namespace notify

// One notification: what happened, to which control, with two parameters.
struct TNotifyUI {
    QString sType;
    CControlUI* pSender = nullptr;
    uint64_t dwTimestamp = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// Receives the notifications of a paint manager's controls, on the window's thread.
class INotifyUI {
public:
    virtual ~INotifyUI() = default;
    virtual void Notify(TNotifyUI& msg) = 0;
};

// Creates the program's own controls for tag names the builder does not know.
// Returns nullptr for a tag it does not handle.
class IDialogBuilderCallback {
public:
    virtual ~IDialogBuilderCallback() = default;
    virtual CControlUI* CreateControl(const QString& className) = 0;
};

// Asked for a text the language table does not have. Returns an empty string for none.
class IQueryControlText {
public:
    virtual ~IQueryControlText() = default;
    virtual QString QueryControlText(const QString& key, const QString& className) = 0;
};

} // namespace talyx
