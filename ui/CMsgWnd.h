#pragma once

#include "ui/WindowImplBase.h"

namespace talyx {

// The program's message window: a title, a text from the language table, and OK or
// OK and Cancel. Layout "XML/msgwnd.xml" with the controls "msg_title", "msg_text",
// "msg_ok", "msg_cancel" and "msg_close".
class CMsgWnd : public WindowImplBase {
    Q_OBJECT
public:
    enum Style { kOk = 0, kOkCancel = 1 };

    // Shows the text of a language key and waits for the answer: IDOK or IDCANCEL.
    static int MessageBox(QWidget* parent, const QString& textKey, int style = kOk,
                          const QString& titleKey = QStringLiteral("message_title"));

    // The same for a text that is a format with one number ("%d"), filled with `value`.
    static int MessageBoxFormatted(QWidget* parent, const QString& textKey, int value, int style = kOk);
    // The same for a format with one text ("%s").
    static int MessageBoxFormatted(QWidget* parent, const QString& textKey, const QString& value, int style = kOk);

    // Test seam: the next message box is not shown and answers this at once.
    static void SetNextAnswer(int answer);
    // The language key of the last message box, and how many were asked for.
    static QString LastTextKey();
    // The text it showed, formats filled in.
    static QString LastText();
    static int ShownCount();

    QString GetSkinFile() const override { return QStringLiteral("XML/msgwnd.xml"); }
    QString GetWindowClassName() const override { return QStringLiteral("MsgWnd"); }
    void Notify(TNotifyUI& msg) override;
    // Closing without a choice (Esc, the window manager's close button) is a cancel.
    LRESULT HandleMessage(uint32_t msg, WPARAM wParam, LPARAM lParam) override;

private:
    CMsgWnd() = default;
    static int show(QWidget* parent, const QString& textKey, const QString& body, int style, const QString& titleKey);
};

} // namespace talyx
