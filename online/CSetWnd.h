#pragma once

#include <QStringList>
#include <memory>
#include <vector>

#include "online/UpdateSession.h"
#include "ui/WindowImplBase.h"

namespace talyx {

class CUpdateInfoListItemUI;

// The settings window (layout "XML/setwnd.xml", 630 × 500): the update page, which asks
// the update server about the application and each connected device each time the
// window opens, lists the answers, downloads the ticked packages and starts them; and
// the general page with the language list and the start with the desktop session (the
// user's autostart entry, written or removed as the box is ticked).
//
// Its owner (the main window) receives message 3089 with the chosen language's index and
// 3094 when everything is up to date, and passes the packages' reports on as the
// update-state message given at construction (wParam step, lParam value).
class CSetWnd : public WindowImplBase, private UpdateSessionHost {
    Q_OBJECT
public:
    enum Page { kPageUpdate = 0, kPageLanguage = 1 };

    // Own messages of the window.
    static constexpr uint32_t kMsgItemChanged = 3120;  // wParam item index
    static constexpr uint32_t kMsgPageChanged = 3121;  // wParam page state
    static constexpr uint32_t kMsgUpdateFailed = 3122; // show "Update failed!"
    static constexpr uint32_t kMsgOpenPackage = 3123;  // wParam const std::string*; result 1 when opened

    CSetWnd(MessageTarget* owner, uint32_t updateStateMessage, std::vector<UpdateRow> rows, QStringList languages,
            int currentLanguage, UpdateTimings timings = Timings());
    ~CSetWnd() override;

    QString GetSkinFile() const override { return QStringLiteral("XML/setwnd.xml"); }
    QString GetWindowClassName() const override { return QStringLiteral("SetWnd"); }
    void InitWindow() override;
    CControlUI* CreateControl(const QString& className) override;
    void Notify(TNotifyUI& msg) override;
    LRESULT HandleMessage(uint32_t msg, WPARAM wParam, LPARAM lParam) override;

    // Shows the update page or the language list.
    void SelectPage(int page);
    // Beside a visible main window (right edges 30 scaled units apart, 60 below its top),
    // else centred on the screen.
    void PlaceBeside(QWidget* mainWindow);
    // Whether a package report from this process is taken (see UpdateSession).
    bool AcceptsReportFrom(pid_t pid) const { return m_session.AcceptsReportFrom(pid); }
    UpdateSession& Session() { return m_session; }

    // Test seams: application packages go here instead of the desktop's opener; the
    // pauses the windows opened from now on use.
    static void SetOpenerForTests(std::function<bool(const QString& path)> opener);
    static UpdateTimings& Timings();

protected:
    void OnFinalMessage() override { deleteLater(); }
    void showEvent(QShowEvent* event) override;

private:
    void ItemChanged(int index) override;
    void PageStateChanged(int state) override;
    void AllUpToDate() override;
    void UpdateFailed() override;
    bool OpenApplicationPackage(const std::string& path) override;

    void showItem(int index);
    void showAutostart();
    void changeAutostart(bool enabled);
    void showPage();
    void refreshTexts();
    void relayoutLists();
    int itemIndexOf(CControlUI* control) const;

    MessageTarget* m_owner;
    uint32_t m_updateStateMessage;
    QStringList m_languages;
    int m_currentLanguage;
    UpdateSession m_session;
    std::vector<CUpdateInfoListItemUI*> m_items;
};

} // namespace talyx
