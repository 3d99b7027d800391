#include "online/UpdateSession.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "online/HttpClient.h"
#include "online/PackageFolder.h"
#include "platform/Debug.h"
#include "platform/Paths.h"

namespace talyx {
namespace {

// The package keeps the extension of its url (".deb", ".sh", ...) so that the desktop's
// opener knows what it is; the name itself is always the row's own.
std::string packageFileFor(const std::string& name, const std::string& url) {
    std::string path = url.substr(0, url.find_first_of("?#"));
    path = path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
    std::string extension;
    const size_t dot = path.find_last_of('.');
    if (dot != std::string::npos && dot + 1 < path.size() && path.size() - dot <= 11) {
        extension = path.substr(dot);
        for (size_t i = 1; i < extension.size(); ++i)
            if (!std::isalnum(static_cast<unsigned char>(extension[i])))
                extension.clear();
    }
    std::string safe = name;
    for (char& c : safe)
        if (c == '/' || c == '\0')
            c = '_';
    if (safe.empty() || safe[0] == '.')
        safe.insert(0, "package");
    return JoinPath(PackageFolderPath(), safe + extension);
}

bool waitsForUpdate(int state) {
    return state == kItemNeedUpdate || state == kItemNeedUpdate2 || state == kItemFailed;
}

} // namespace

UpdateSession::UpdateSession(std::vector<UpdateRow> rows, UpdateSessionHost& host, UpdateTimings timings)
    : m_host(host), m_timings(timings) {
    for (UpdateRow& row : rows) {
        UpdateItem item;
        item.row = row;
        item.name = row.displayName;
        item.currentVersionText = row.IsApplication() ? row.displayVersion : CurrentVersionText(row);
        m_items.push_back(item);
    }
}

UpdateSession::~UpdateSession() {
    Stop();
}

void UpdateSession::Start() {
    std::string date = ReadLastUpdateDate();
    if (date.empty()) {
        date = TodayText();
        WriteLastUpdateDate(date);
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lastCheck = date;
    }
    m_check.start([this](Event& stop) { checkWorker(stop); });
    m_download.start([this](Event& stop) { downloadWorker(stop); });
    m_install.start([this](Event& stop) { installWorker(stop); });
}

void UpdateSession::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopped)
            return;
        m_stopped = true;
    }
    m_abort.Abort();
    auto wake = [this] {
        m_downloadWake.set();
        m_installWake->set();
    };
    m_check.stop(100, wake);
    m_download.stop(100, wake);
    m_install.stop(100, wake);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_processRunning)
        DebugOutput("update: the package goes on after the window closed");
    m_process.Release();
}

int UpdateSession::Count() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_items.size());
}

UpdateItem UpdateSession::Item(int index) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return index >= 0 && index < static_cast<int>(m_items.size()) ? m_items[static_cast<size_t>(index)] : UpdateItem();
}

int UpdateSession::PageState() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_page;
}

std::string UpdateSession::LastCheckDate() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastCheck;
}

void UpdateSession::notify(const std::vector<int>& changed, int page) {
    for (int index : changed)
        m_host.ItemChanged(index);
    if (page >= 0)
        m_host.PageStateChanged(page);
}

void UpdateSession::setState(int index, int state) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_items[static_cast<size_t>(index)].state = state;
    }
    m_host.ItemChanged(index);
}

void UpdateSession::setPage(int state) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_page = state;
    }
    m_host.PageStateChanged(state);
}

bool UpdateSession::busyLocked() const {
    if (m_processRunning)
        return true;
    return std::any_of(m_items.begin(), m_items.end(), [](const UpdateItem& i) {
        return i.state == kItemWaiting || i.state == kItemDownloading || i.state == kItemDownloaded;
    });
}

// Once nothing is downloaded or installed any more, the page says again whether an
// update waits.
void UpdateSession::settleLocked(int& page) {
    if (busyLocked() || m_page != kPageUpdating)
        return;
    const bool waiting =
        std::any_of(m_items.begin(), m_items.end(), [](const UpdateItem& i) { return waitsForUpdate(i.state); });
    m_page = waiting ? kPageHaveUpdate : kPageUpToDate;
    page = m_page;
}

bool UpdateSession::SetTicked(int index, bool ticked) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (index < 0 || index >= static_cast<int>(m_items.size()))
            return false;
        UpdateItem& item = m_items[static_cast<size_t>(index)];
        if (!item.enabled || !waitsForUpdate(item.state))
            return false;
        item.ticked = ticked;
    }
    m_host.ItemChanged(index);
    return true;
}

bool UpdateSession::UpdateOffered() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (busyLocked())
        return false;
    return std::any_of(m_items.begin(), m_items.end(),
                       [](const UpdateItem& i) { return i.ticked && waitsForUpdate(i.state); });
}

void UpdateSession::StartUpdate() {
    std::vector<int> changed;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (busyLocked() || m_stopped)
            return;
        for (size_t i = 0; i < m_items.size(); ++i)
            if (m_items[i].ticked && waitsForUpdate(m_items[i].state)) {
                m_items[i].state = kItemWaiting;
                changed.push_back(static_cast<int>(i));
            }
    }
    notify(changed, -1);
    if (!changed.empty())
        m_downloadWake.set();
}

void UpdateSession::checkWorker(Event& stop) {
    setPage(kPageChecking);
    bool anyAnswered = false;
    const size_t count = m_items.size();
    for (size_t i = 0; i < count && !stop.isSet(); ++i) {
        const UpdateRow row = Item(static_cast<int>(i)).row;
        HttpClient client;
        client.SetAbort(&m_abort);
        client.InitClient();
        if (m_timings.receiveTimeoutMs > 0)
            client.Settings().receiveTimeoutMs = m_timings.receiveTimeoutMs;
        std::vector<char> reply(kUpdateReplyCapacity, 0);
        const std::string body = QueryBody(row);
        // The body goes out with its terminating zero, which its length counts.
        const int n = client.FormRequest(UpdateQueryUrl(), "POST", body.c_str(), body.size() + 1, reply.data(),
                                         reply.size(), false);
        if (stop.isSet())
            return;
        const bool noLink = n == 0 && std::memcmp(reply.data(), kNoLinkServer, kNoLinkServerLength) == 0;
        const bool fetched = !noLink && (n > 0 || client.Settings().lastError == kErrorInsufficientBuffer);
        anyAnswered = anyAnswered || fetched;
        UpdateReply answer;
        const bool answered =
            n > 0 && ParseUpdateReply(reply.data(), static_cast<size_t>(n), answer) && !answer.name.empty();
        DebugOutputF("update: %s -> %d bytes, %s", body.c_str(), n,
                     noLink     ? "NO_LINK_SERVER"
                     : answered ? "answer"
                                : "empty answer");
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            UpdateItem& item = m_items[i];
            item.name = row.displayName;
            item.ticked = false;
            item.enabled = false;
            if (answered && OffersNewer(row, answer)) {
                item.state = kItemNeedUpdate;
                item.newVersionText = row.IsApplication() ? answer.versionName : "V" + answer.version;
                item.versionName = answer.versionName;
                item.url = answer.path;
                item.sha256 = answer.sha256;
                item.deviceId = answer.deviceId;
            } else {
                item.state = kItemUpToDate;
                item.newVersionText.clear();
                item.url.clear();
                item.sha256.clear();
            }
            item.currentVersionText = answered ? CurrentVersionText(row)
                                               : (row.IsApplication() ? row.displayVersion : CurrentVersionText(row));
            item.packageFile = packageFileFor(item.name, item.url);
            m_lastCheck = TodayText();
        }
        WriteLastUpdateDate(TodayText());
        m_host.ItemChanged(static_cast<int>(i));
    }
    std::vector<int> changed;
    int page = kPageUpToDate;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        bool ticked = false;
        for (size_t i = 0; i < m_items.size(); ++i) {
            UpdateItem& item = m_items[i];
            if (item.state != kItemUpToDate && item.state != kItemChecking) {
                item.ticked = item.enabled = true;
                ticked = true;
                changed.push_back(static_cast<int>(i));
            }
        }
        page = ticked ? kPageHaveUpdate : anyAnswered ? kPageUpToDate : kPageNoServer;
        m_page = page;
    }
    notify(changed, page);
    if (page == kPageUpToDate)
        m_host.AllUpToDate();
}

void UpdateSession::onProgress(double total, double received, void* context) {
    auto* ctx = static_cast<ProgressContext*>(context);
    UpdateSession* self = ctx->session;
    bool changed = false;
    {
        std::lock_guard<std::mutex> lock(self->m_mutex);
        UpdateItem& item = self->m_items[static_cast<size_t>(ctx->index)];
        if (total <= 0) {
            changed = item.state != kItemFailed;
            item.state = kItemFailed;
        } else if (received >= total) {
            changed = item.state != kItemDownloaded;
            item.state = kItemDownloaded;
            item.progress = 100;
        } else {
            const int percent = static_cast<int>(received * 100 / total);
            changed = percent != item.progress;
            item.progress = percent;
        }
    }
    if (changed)
        self->m_host.ItemChanged(ctx->index);
}

void UpdateSession::downloadWorker(Event& stop) {
    for (;;) {
        m_downloadWake.wait(-1);
        if (stop.isSet())
            return;
        for (size_t i = 0; i < m_items.size(); ++i) {
            std::string url, file, sha256;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                UpdateItem& item = m_items[i];
                if (!item.ticked || (item.state != kItemWaiting && item.state != kItemFailed))
                    continue;
                item.state = kItemDownloading;
                item.progress = 0;
                m_page = kPageUpdating;
                url = item.url;
                file = item.packageFile;
                sha256 = item.sha256;
            }
            notify({static_cast<int>(i)}, kPageUpdating);
            HttpClient client;
            client.SetAbort(&m_abort);
            if (m_timings.receiveTimeoutMs > 0)
                client.Settings().receiveTimeoutMs = m_timings.receiveTimeoutMs;
            ProgressContext context{this, static_cast<int>(i)};
            DownloadOptions options;
            options.sha256 = sha256;
            const DownloadResult result = client.Download(url, file, &UpdateSession::onProgress, &context, options);
            DebugOutputF("update: download of %s: %s", url.c_str(), DownloadResultText(result));
            if (result == DownloadResult::Ok)
                m_installWake->set();
            if (stop.wait(m_timings.afterDownloadMs))
                return;
        }
        int page = -1;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            settleLocked(page);
        }
        notify({}, page);
    }
}

bool UpdateSession::startFirmware(int index) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_starts;
    m_processRunning = m_process.Start(m_items[static_cast<size_t>(index)].packageFile, m_installWake);
    DebugOutputF("update: firmware package started (%d): %s", m_starts, m_processRunning ? "yes" : "no");
    return m_processRunning;
}

void UpdateSession::installWorker(Event& stop) {
    for (;;) {
        m_installWake->wait(-1);
        if (stop.isSet())
            return;
        // A firmware package that ended without reporting is started again, a bounded
        // number of times.
        int restart = -1;
        bool failed = false;
        bool ended = false;
        int failedIndex = -1;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_processRunning && m_process.HasEnded()) {
                m_processRunning = false;
                ended = true;
                m_process.Release();
                const int i = m_current;
                if (i >= 0 && m_items[static_cast<size_t>(i)].state == kItemUpdating &&
                    m_firmware == FirmwareFlag::Started) {
                    if (m_starts < m_timings.maxFirmwareStarts) {
                        restart = i;
                    } else {
                        failed = true;
                        failedIndex = i;
                        m_items[static_cast<size_t>(i)].state = kItemFailed;
                        m_firmware = FirmwareFlag::Cleared;
                    }
                }
            }
        }
        if (restart >= 0 && !startFirmware(restart)) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_items[static_cast<size_t>(restart)].state = kItemFailed;
            m_firmware = FirmwareFlag::Cleared;
            failed = true;
            failedIndex = restart;
        }
        if (failed) {
            m_host.ItemChanged(failedIndex);
            m_host.UpdateFailed();
        }
        // What the window offers depends on whether a package runs.
        if (ended)
            m_host.PageStateChanged(PageState());
        int next = -1;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_processRunning)
                continue;
            for (size_t i = 0; i < m_items.size() && next < 0; ++i)
                if (m_items[i].ticked && m_items[i].state == kItemDownloaded)
                    next = static_cast<int>(i);
        }
        if (next < 0) {
            int page = -1;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                settleLocked(page);
            }
            notify({}, page);
            continue;
        }
        if (stop.wait(m_timings.beforeStartMs))
            return;
        bool application = false;
        std::string file;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            UpdateItem& item = m_items[static_cast<size_t>(next)];
            item.state = kItemUpdating;
            item.progress = 0; // from now on the package's own progress
            m_page = kPageUpdating;
            m_current = next;
            application = item.row.IsApplication();
            file = item.packageFile;
            if (!application) {
                m_firmware = FirmwareFlag::Started;
                m_starts = 0;
            }
        }
        notify({next}, kPageUpdating);
        const bool started = application ? m_host.OpenApplicationPackage(file) : startFirmware(next);
        if (!started) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_items[static_cast<size_t>(next)].state = kItemFailed;
                m_firmware = FirmwareFlag::Cleared;
            }
            m_host.ItemChanged(next);
            m_host.UpdateFailed();
        }
        // Look again for the next package (or the end of this one).
        m_installWake->set();
    }
}

void UpdateSession::OnUpdateState(uint32_t step, int64_t value) {
    std::vector<int> changed;
    int page = -1;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const int i = m_current;
        if (i < 0 || m_items[static_cast<size_t>(i)].state != kItemUpdating) {
            DebugOutputF("update: report %u ignored, no package runs", step);
            return;
        }
        UpdateItem& item = m_items[static_cast<size_t>(i)];
        changed.push_back(i);
        switch (step) {
        case kStepDone: {
            item.currentVersionText = item.newVersionText;
            item.newVersionText.clear();
            item.state = kItemUpToDate;
            item.enabled = false;
            item.ticked = false;
            m_firmware = FirmwareFlag::Cleared;
            const bool othersPending = std::any_of(m_items.begin(), m_items.end(), [](const UpdateItem& other) {
                return other.ticked && other.state != kItemUpToDate;
            });
            if (!othersPending) {
                bool any = false;
                for (size_t k = 0; k < m_items.size(); ++k)
                    if (m_items[k].state != kItemUpToDate && m_items[k].state != kItemChecking) {
                        m_items[k].ticked = m_items[k].enabled = true;
                        changed.push_back(static_cast<int>(k));
                        any = true;
                    }
                m_page = any ? kPageHaveUpdate : kPageUpToDate;
                page = m_page;
            }
            break;
        }
        case kStepAfterFailure:
            if (m_firmware == FirmwareFlag::Failed)
                item.state = kItemFailed;
            break;
        case kStepFailed:
            m_firmware = FirmwareFlag::Failed;
            item.state = kItemFailed;
            break;
        case kStepProgress:
            item.progress = static_cast<int>(std::clamp<int64_t>(value, 0, 100));
            break;
        default:
            return;
        }
    }
    notify(changed, page);
}

bool UpdateSession::AcceptsReportFrom(pid_t pid) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const int i = m_current;
    if (i < 0 || m_items[static_cast<size_t>(i)].state != kItemUpdating)
        return false;
    // An application package went to the desktop's opener: its process is not ours to know.
    if (m_items[static_cast<size_t>(i)].row.IsApplication())
        return true;
    if (!m_processRunning)
        return false;
    return pid == 0 || IsProcessOrDescendant(pid, m_process.Pid());
}

} // namespace talyx
