#pragma once

#include <QHash>
#include <QPointer>
#include <string>
#include <vector>

#include <json/value.h>

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
    };

    static constexpr int kRowHeight = 30;
    static constexpr int kMaxDelay = 65535;
    static constexpr int kDefaultFixedDelay = 50;

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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

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
    void openMouseMenu(const QPoint& at);

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
