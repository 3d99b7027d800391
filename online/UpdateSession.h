#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

#include "online/PackageRunner.h"
#include "online/TransferAbort.h"
#include "online/UpdateTable.h"
#include "platform/Event.h"
#include "platform/WorkerThread.h"

namespace talyx {

// List item states of the settings window.
enum UpdateItemState : int {
    kItemChecking = 0,    // not answered yet; greyed
    kItemNeedUpdate = 1,  // a newer version is offered
    kItemNeedUpdate2 = 2, // as 1
    kItemWaiting = 3,     // queued for download
    kItemDownloading = 4, // progress shown
    kItemDownloaded = 5,
    kItemUpdating = 6, // the package runs
    kItemUpToDate = 7,
    kItemFailed = 8,
};

// Page states of the update page.
enum UpdatePageState : int {
    kPageChecking = 0,
    kPageHaveUpdate = 1,
    kPageNoServer = 2,
    kPageUpdating = 3,
    kPageUpToDate = 4, // followed by the date of the last check
};

// Steps that a running package reports (wParam of the update-state message).
enum UpdateStep : uint32_t { kStepDone = 1, kStepAfterFailure = 2, kStepFailed = 3, kStepProgress = 4 };

// One line of the update list.
struct UpdateItem {
    UpdateRow row;
    int state = kItemChecking;
    bool ticked = false;
    bool enabled = false; // the check box can be used
    std::string name;     // the row's display name
    std::string newVersionText;
    std::string currentVersionText;
    std::string versionName;
    std::string url;
    std::string sha256;
    std::string packageFile;
    int progress = 0; // percent
    int64_t deviceId = 0;
};

// What the settings window does for the session. Called from the workers.
class UpdateSessionHost {
public:
    virtual ~UpdateSessionHost() = default;
    // The host shows the change on its own thread; these return at once.
    virtual void ItemChanged(int index) = 0;
    virtual void PageStateChanged(int state) = 0;
    // Every row answered that it is up to date.
    virtual void AllUpToDate() = 0;
    // A package could not be started, or did not report within its starts.
    virtual void UpdateFailed() = 0;
    // Hands an application package to the desktop's opener; returns when that is done.
    virtual bool OpenApplicationPackage(const std::string& path) = 0;
};

// Pauses of the workers, in milliseconds, and the number of times a firmware package
// is started before the update counts as failed.
struct UpdateTimings {
    int afterDownloadMs = 4000;
    int beforeStartMs = 1000;
    int maxFirmwareStarts = 3;
    int receiveTimeoutMs = 0; // 0: the client's own
};

// The update page's work while the settings window is open: three workers.
//  - check (runs once): asks the server about every row and fills the items;
//  - download: woken by StartUpdate(), one pass over the ticked items queued or failed;
//  - install: starts each downloaded package; an application package goes to the
//    desktop's opener, a firmware package runs hidden and is waited for, started again
//    while it neither reported done nor failed, at most maxFirmwareStarts times.
// The items live here under one lock; the workers change them and tell the host, which
// reads them back. Every public operation may be called from any thread; OnUpdateState
// and the tick operations come from the window's thread.
class UpdateSession {
public:
    UpdateSession(std::vector<UpdateRow> rows, UpdateSessionHost& host, UpdateTimings timings = UpdateTimings());
    ~UpdateSession();
    UpdateSession(const UpdateSession&) = delete;
    UpdateSession& operator=(const UpdateSession&) = delete;

    // Reads "updatetime.config" (writing today's date when there is none) and starts
    // the workers.
    void Start();
    // Ends every transfer at once and stops the workers. A package that runs goes on.
    void Stop();

    int Count() const;
    UpdateItem Item(int index) const;
    int PageState() const;
    std::string LastCheckDate() const;

    // The user ticks or clears an item's box; false when the box cannot be used.
    bool SetTicked(int index, bool ticked);
    // True when the update button is offered: a ticked item waits for an update and
    // nothing is being downloaded or installed.
    bool UpdateOffered() const;
    // "update_OK_btn": ticked items that wait for an update are queued and the download
    // worker is woken.
    void StartUpdate();

    // A report of a running package. Ignored unless a package of ours runs.
    void OnUpdateState(uint32_t step, int64_t value);
    // Whether a report from this process is taken: only while a package of ours runs,
    // and, for a firmware package, only from it or its descendants. pid 0 (the bus did
    // not say who called) is taken while a package runs.
    bool AcceptsReportFrom(pid_t pid) const;

private:
    enum class FirmwareFlag { Cleared, Started, Failed };
    static void onProgress(double total, double received, void* context);

    void checkWorker(Event& stop);
    void downloadWorker(Event& stop);
    void installWorker(Event& stop);
    void setState(int index, int state);
    void setPage(int state);
    void settleLocked(int& page);
    bool busyLocked() const;
    void notify(const std::vector<int>& changed, int page);
    bool startFirmware(int index);

    UpdateSessionHost& m_host;
    UpdateTimings m_timings;
    mutable std::mutex m_mutex;
    std::vector<UpdateItem> m_items;
    int m_page = kPageChecking;
    std::string m_lastCheck;
    int m_current = -1; // the item whose package was started last
    FirmwareFlag m_firmware = FirmwareFlag::Cleared;
    int m_starts = 0;
    PackageProcess m_process;
    bool m_processRunning = false;
    bool m_stopped = false;

    TransferAbort m_abort;
    Event m_downloadWake{false};
    std::shared_ptr<Event> m_installWake = std::make_shared<Event>(false);
    WorkerThread m_check;
    WorkerThread m_download;
    WorkerThread m_install;
    struct ProgressContext {
        UpdateSession* session;
        int index;
    };
};

} // namespace talyx
