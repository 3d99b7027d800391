#pragma once

#include <QHash>
#include <QPointer>
#include <string>
#include <vector>

#include <json/value.h>

#include "inputhook/HookRecords.h"
#include "profile/FileExchange.h"
#include "profile/MacroLibrary.h"
#include "ui/CContainerUI.h"
#include "ui/UIDefs.h"

namespace talyx {

class CEditUI;
class CListUI;
class CListContainerElementUI;

// The macro page of a keyboard or mouse: the device family's macro library (its index
// "macro.config" and one ".mac" file per macro, kept by MacroLibrary) on the left, the
// selected macro's actions as rows in the middle, inserting mouse actions on the right.
// Every editing operation saves the selected macro's file at once; changes of the list
// (add, rename, delete, import) tell the host, which refreshes the key assignment page's
// macro list and the device's lists. Runs on the user-interface thread.
class CMacroControlUI : public CHorizontalLayoutUI, public IFileExchangeTarget {
public:
    class Host {
    public:
        virtual ~Host() = default;
        // The library's list changed (names, order, count).
        virtual void libraryChanged() = 0;
        // How many keys of the current profile are bound to macro `index`.
        virtual int usesInCurrentProfile(size_t index) = 0;
        // Macro `removed` left the library and the profile documents on disk were
        // renumbered; `changed` holds the UUIDs of those that changed.
        virtual void profilesRenumbered(const std::vector<std::string>& changed) = 0;
        // Recording: installs the input hook in a recording mode; false when it could
        // not. The name of the backend that records ("evdev", "window") and, for the
        // window's own, why the global one was not used ("" when it was not tried).
        virtual bool installHook(int /*mode*/, std::string& /*backend*/, std::string& /*why*/) { return false; }
        virtual void uninstallHook() {}
        // The device selector, the profile bar and the key assignment page are locked
        // while the page records.
        virtual void setRecordingLock(bool /*locked*/) {}
    };

    static constexpr int kRowHeight = 30;
    static constexpr int kMaxDelay = 65535;
    static constexpr int kDefaultFixedDelay = 50;
    // Delay modes of a recording: the real time between events, the fixed delay, none.
    static constexpr int kDelayReal = 1;
    static constexpr int kDelayFixed = 2;
    static constexpr int kDelayNone = 3;
    // The timer that scrolls the list to the recorded row.
    static constexpr int kScrollTimerId = 4101;
    static constexpr int kScrollDelayMs = 50;

    QString GetClass() const override { return QStringLiteral("MacroControlUI"); }

    void SetHost(Host* host) { m_host = host; }
    // The family's folder; then LoadLibrary fills the list.
    void SetFolder(const std::string& folder);
    const std::string& Folder() const { return m_library.Folder(); }
    void LoadLibrary();
    // The macro names in list order.
    std::vector<std::string> Names() const { return m_library.Names(); }
    int SelectedMacro() const;
    int SelectedRow() const;
    int RowCount() const;
    // The event of each row, as the macro file will hold it.
    std::vector<Json::Value> RowEvents() const;

    // A notification from one of the page's controls; true when it was this page's.
    bool HandleNotify(TNotifyUI& msg);
    // A choice of the action list's context menu; true when it was this page's.
    bool HandleMenuChoice(const QString& name);

    // The operations of the page's controls.
    void AddMacro();
    void RenameSelected(const QString& name);
    void DeleteSelected();
    bool SaveSelected();
    void ReloadSelected();
    // Moves the selected row to `to` (clamped to the list).
    void MoveSelectedRow(int to);
    void DeleteSelectedRow();
    void DeleteAllRows();
    // Inserts an action after the selected row (or the first, or as the only row), with
    // the fixed delay, selects it and saves. False at 4000 rows or without a macro. The
    // entry point for recorded actions too.
    bool InsertAction(const std::string& action, int type, int button);
    // The chosen file replaces the selected macro's file, after it was checked.
    bool ImportFile(const std::string& path) override;
    bool ExportFile(const std::string& path) override;

    // Recording from the input hook. Start needs a shown macro, and for the modes that
    // insert before or after or replace, a selected row; it locks the page and installs
    // the hook. Every recording starts afresh: no remembered key, no pending delay.
    bool StartRecording(int hookMode, int delayMode);
    // Unlocks the page, removes the hook and saves the macro. Nothing when not recording.
    void StopRecording();
    bool IsRecording() const { return m_rec.hookMode != 0; }
    int RecordingMode() const { return m_rec.hookMode; }
    int RecordingDelayMode() const { return m_rec.delayMode; }
    // A key or mouse button event of the hook in `mode` (wParam and record as the hook
    // sends them). Events of another mode than the recording's are dropped.
    void RecordKey(int mode, uint32_t wParam, const KeyboardHookRecord& record);
    void RecordMouse(int mode, uint32_t wParam, const MouseHookRecord& record);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void OnTimer(int id) override;

private:
    template <class T> T* control(const char* name) const;
    void bind();
    void showSelected();
    void fillRows(const std::vector<Json::Value>& events, int select);
    CListContainerElementUI* makeRow(const Json::Value& event);
    void setMacroControlsEnabled(bool enabled);
    void message(const QString& key);
    bool confirm(const QString& key);
    void applyStyle(CControlUI* c, const char* style);
    int fixedDelay() const;
    void openMouseMenu(const QPoint& at, const char* layout);
    void setRecordingLocked(bool locked);
    void addRecordedRow(bool down, int type, int button, uint32_t time);
    void replaceSelectedRow(int type, int button);
    CEditUI* delayEditOf(int row) const;
    void setRowDelay(int row, int delay);
    void scrollToRow(int row);

    // The state of a recording (hookMode 0: none).
    struct Recording {
        int hookMode = 0;
        int delayMode = kDelayReal;
        int fixedDelay = kDefaultFixedDelay;
        uint32_t lastTime = 0;
        bool recorded = false;
        int lastKey = -1;       // scan code | extended << 8 of the key held, to drop repeats
        uint32_t lastMouse = 0; // the last mouse message | extra button << 16
        int at = -1;            // the selected row the recording inserts around
    };
    Recording m_rec;
    int m_scrollRow = -1;

    Host* m_host = nullptr;
    MacroLibrary m_library;
    QPointer<CListUI> m_names;
    QPointer<CListUI> m_rows;
    QPointer<CEditUI> m_nameEdit;
    QHash<QString, QString> m_styles;
    std::string m_lastImport;
    bool m_bound = false;
    bool m_filling = false;
};

} // namespace talyx
