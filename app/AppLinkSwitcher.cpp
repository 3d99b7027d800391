#include "app/AppLinkSwitcher.h"

#include <unistd.h>

#include "app/CDevicePageUI.h"
#include "app/CMainWnd.h"
#include "app/KeyboardPage.h"
#include "app/ProfileBar.h"
#include "device/transport/DeviceIdentification.h"
#include "focus/ReportedFocusSource.h"
#include "focus/WlrForeignToplevelSource.h"
#include "platform/Debug.h"
#include "ui/CResourceManager.h"

namespace talyx {
namespace {

// A switch the user did not ask for in the window: no message boxes; the status line
// still tells what happened.
class QuietPrompt : public IProfilePrompt {
public:
    bool Confirm(const std::string&) override { return true; }
    void ShowMessage(const ProfileMessage& message) override {
        DebugOutputF("focus: profile message %s\n", message.key.c_str());
    }
};

QString text(const char* id) {
    return CResourceManager::GetInstance().GetText(QString::fromLatin1(id));
}

} // namespace

AppLinkSwitcher::AppLinkSwitcher(CMainWnd* window, QObject* parent) : QObject(parent), m_window(window) {
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &AppLinkSwitcher::settle);
}

AppLinkSwitcher::~AppLinkSwitcher() {
    Stop();
}

void AppLinkSwitcher::Start(const FocusSession& session) {
    Stop();
    m_session = session;
    m_reported = false;
    QPointer<AppLinkSwitcher> self(this);
    StartedFocusSource started = StartFocusSource(session, [self](const FocusedApplication& app) {
        // From the source's thread: handled on the interface thread.
        QMetaObject::invokeMethod(
            self.data(),
            [self, app] {
                if (self)
                    self->onFocus(app);
            },
            Qt::QueuedConnection);
    });
    m_kind = started.kind;
    m_source = std::move(started.source);
    m_why = started.why;
    if (!m_source)
        DebugOutputF("focus: no source: %s\n", m_why.c_str());
}

void AppLinkSwitcher::Stop() {
    if (m_source)
        m_source->Stop();
    m_source.reset();
    m_settle.stop();
}

bool AppLinkSwitcher::Report(const FocusedApplication& app) {
    auto* reported = dynamic_cast<ReportedFocusSource*>(m_source.get());
    return reported && reported->Report(app);
}

QString AppLinkSwitcher::SourceName() const {
    return m_source ? QString::fromLatin1(m_source->Name()) : QString();
}

QString AppLinkSwitcher::StatusText() const {
    auto* reported = dynamic_cast<ReportedFocusSource*>(m_source.get());
    switch (m_kind) {
    case FocusSourceKind::kX11:
        if (m_source)
            return text("focus_status_x11");
        return text("focus_status_no_display").arg(QString::fromStdString(m_session.display));
    case FocusSourceKind::kKWinScript:
        return text(reported && reported->HasReported() ? "focus_status_kwin" : "focus_status_kwin_waiting");
    case FocusSourceKind::kGnomeExtension:
        return text(reported && reported->HasReported() ? "focus_status_gnome" : "focus_status_gnome_waiting");
    case FocusSourceKind::kWlrToplevels:
        if (auto* wlr = dynamic_cast<WlrForeignToplevelSource*>(m_source.get()))
            return text(wlr->GetState() == WlrForeignToplevelSource::State::kWatching ? "focus_status_wlroots"
                                                                                      : "focus_status_wlroots_lost");
        return text("focus_status_wayland_unreachable").arg(QString::fromStdString(m_session.wayland));
    case FocusSourceKind::kNone:
        break;
    }
    if (!m_session.display.empty() || !m_session.wayland.empty())
        return text("focus_status_unsupported")
            .arg(QString::fromStdString(m_session.desktop.empty() ? std::string("Wayland") : m_session.desktop));
    return text("focus_status_no_session");
}

const ApplicationCatalog& AppLinkSwitcher::Catalog() {
    if (!m_catalog)
        m_catalog = std::make_unique<ApplicationCatalog>(ApplicationCatalog::SessionFolders());
    return *m_catalog;
}

void AppLinkSwitcher::onFocus(const FocusedApplication& app) {
    // Our own window in front (the user edits the linked profile) changes nothing.
    if (app.pid != 0 && app.pid == static_cast<uint32_t>(::getpid()))
        return;
    if (!app.IsEmpty())
        m_lastForeign = app;
    m_pending = app;
    m_reported = true;
    m_settle.start();
    emit Focused();
}

void AppLinkSwitcher::PageStarted() {
    if (m_source && m_reported && !m_settle.isActive())
        m_settle.start();
}

void AppLinkSwitcher::settle() {
    if (!m_window)
        return;
    for (int family = 0; family < kDeviceTypeCount; ++family) {
        for (CDevicePageUI* page : m_window->Pages(family)) {
            if (!page || !page->IsStarted())
                continue;
            ProfileBar* bar = page->Keyboard() ? page->Keyboard()->Bar() : page->Profiles();
            if (bar)
                follow(bar, m_pending);
        }
    }
}

void AppLinkSwitcher::follow(ProfileBar* bar, const FocusedApplication& app) {
    ProfileList& list = bar->Profiles();
    const ApplicationCatalog& catalog = Catalog();
    int linked = -1;
    for (int i = 0; i < list.ItemCount() && linked < 0; ++i)
        if (catalog.Matches(list.LinkOf(i), app))
            linked = i;
    Followed& state = m_followed[bar];
    QuietPrompt prompt;
    if (linked >= 0) {
        if (state.previousUUID.empty())
            state.previousUUID = list.CurrentUUID();
        if (list.Selected() != linked) {
            ++m_switches;
            DebugOutputF("focus: %s is in front: profile %d\n", catalog.LinkNameOf(app).c_str(), linked);
            bar->Switch(linked, prompt);
        }
        state.appliedUUID = list.CurrentUUID();
        return;
    }
    if (state.previousUUID.empty())
        return;
    // The linked application left. Its profile gives way to the one before, unless the
    // user chose another profile while it was in front.
    if (list.CurrentUUID() == state.appliedUUID) {
        int previous = -1;
        for (int i = 0; i < list.ItemCount() && previous < 0; ++i)
            if (list.ProfileUUID(i) == state.previousUUID)
                previous = i;
        if (previous >= 0 && previous != list.Selected()) {
            ++m_switches;
            DebugOutputF("focus: the linked application left: profile %d\n", previous);
            bar->Switch(previous, prompt);
        }
    }
    m_followed.erase(bar);
}

} // namespace talyx
