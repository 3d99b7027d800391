#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <map>
#include <memory>
#include <string>

#include "focus/ApplicationCatalog.h"
#include "focus/FocusSource.h"
#include "focus/FocusSourceChoice.h"

namespace talyx {

class CMainWnd;
class ProfileBar;

// Profiles that follow the application in front. A focus source tells which application
// that is; once it has stayed in front for the settle time, every device whose profile
// list links a profile to it has that profile selected and applied through its profile
// bar (the same code as a pick in the combo). When it leaves, the profile that was
// selected before comes back, unless the user picked another one meanwhile. Quick focus
// changes settle once, and a profile already selected is not written again. Windows of
// this program itself change nothing, so the user can edit the profile in front.
// User-interface thread only; the source's reports are queued to it.
class AppLinkSwitcher : public QObject {
    Q_OBJECT
public:
    static constexpr int kSettleMs = 300;

    explicit AppLinkSwitcher(CMainWnd* window, QObject* parent = nullptr);
    ~AppLinkSwitcher() override;

    // Chooses the session's focus source and starts it (stopping any earlier one).
    void Start(const FocusSession& session);
    void Stop();
    // A report from a compositor script (the bus method). False when the session's source
    // takes no reports.
    bool Report(const FocusedApplication& app);

    // A device page has started: it follows the application in front now (after the
    // settle time), not only at the next change of focus.
    void PageStarted();
    // The settings' line: which source is active, or why none is (in the current language).
    QString StatusText() const;
    // "x11", "kwin", "gnome", "wlroots", or "" with no source.
    QString SourceName() const;
    bool HasSource() const { return m_source != nullptr; }

    // The last application in front that is not this program; empty before the first.
    const FocusedApplication& LastForeign() const { return m_lastForeign; }
    // The installed applications, read at the first use.
    const ApplicationCatalog& Catalog();
    void SetSettleMs(int ms) { m_settle.setInterval(ms); }
    // How many profile switches the follower made (tests and the debug output).
    int Switches() const { return m_switches; }

signals:
    // Another application came to the front (before it settles).
    void Focused();

private:
    struct Followed {
        std::string previousUUID; // selected before the first linked application came
        std::string appliedUUID;  // what the follower selected last
    };
    void onFocus(const FocusedApplication& app);
    void settle();
    void follow(ProfileBar* bar, const FocusedApplication& app);

    CMainWnd* m_window;
    std::unique_ptr<IFocusSource> m_source;
    FocusSourceKind m_kind = FocusSourceKind::kNone;
    FocusSession m_session;
    std::string m_why;
    std::unique_ptr<ApplicationCatalog> m_catalog;
    QTimer m_settle;
    FocusedApplication m_pending;
    bool m_reported = false; // the source has said what is in front
    FocusedApplication m_lastForeign;
    std::map<ProfileBar*, Followed> m_followed;
    int m_switches = 0;
};

} // namespace talyx
