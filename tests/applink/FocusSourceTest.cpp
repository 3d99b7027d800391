// The focus sources and the installed-application catalog that links are matched with:
// which source each session gets, desktop files as the desktop reads them, the X11
// source against a private X server and the wlroots source against a private sway, with
// windows of the test's own.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "focus/ApplicationCatalog.h"
#include "focus/FocusSourceChoice.h"
#include "focus/ReportedFocusSource.h"
#include "focus/WlrForeignToplevelSource.h"
#include "focus/X11FocusSource.h"
#include "platform/Product.h"
#include "tests/applink/FakeWaylandCompositor.h"
#include "tests/applink/SwayFixture.h"
#include "tests/applink/XDisplayFixture.h"
#include "tests/support/TestSupport.h"

using namespace talyx;

namespace {

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
}

std::string entry(const std::string& name, const std::string& exec, const std::string& extra = "") {
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec + "\n" + extra;
}

FocusedApplication app(const std::string& id, const std::string& cls, const std::string& exe = "") {
    FocusedApplication a;
    a.id = id;
    a.windowClass = cls;
    a.executable = exe;
    return a;
}

// What a listener heard, from the source's thread.
struct Heard {
    std::mutex m;
    std::condition_variable cv;
    std::vector<FocusedApplication> apps;
    void add(const FocusedApplication& a) {
        std::lock_guard<std::mutex> lock(m);
        apps.push_back(a);
        cv.notify_all();
    }
    bool waitFor(size_t n) {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, std::chrono::seconds(5), [&] { return apps.size() >= n; });
    }
    FocusedApplication at(size_t i) {
        std::lock_guard<std::mutex> lock(m);
        return apps.at(i);
    }
    size_t count() {
        std::lock_guard<std::mutex> lock(m);
        return apps.size();
    }
    FocusedApplication last() {
        std::lock_guard<std::mutex> lock(m);
        return apps.empty() ? FocusedApplication{} : apps.back();
    }
    // Until the last report names this window class ("" for nothing in front).
    bool waitForClass(const std::string& cls) {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, std::chrono::seconds(5),
                           [&] { return !apps.empty() && apps.back().windowClass == cls; });
    }
    std::string classes() {
        std::lock_guard<std::mutex> lock(m);
        std::string out;
        for (const FocusedApplication& a : apps)
            out += "[" + a.windowClass + "]";
        return out;
    }
};

} // namespace

TEST(FocusSourceChoice, EachSessionGetsItsSourceOrAReason) {
    struct Row {
        FocusSession session;
        FocusSourceKind kind;
        const char* name;
    } rows[] = {
        {{"x11", "KDE", ":0", ""}, FocusSourceKind::kX11, "x11"},
        {{"", "", ":1", ""}, FocusSourceKind::kX11, "x11"},
        {{"wayland", "KDE", ":0", "wayland-0"}, FocusSourceKind::kKWinScript, "kwin"},
        {{"wayland", "ubuntu:GNOME", ":0", "wayland-0"}, FocusSourceKind::kGnomeExtension, "gnome"},
        {{"", "GNOME-Classic:GNOME", "", "wayland-1"}, FocusSourceKind::kGnomeExtension, "gnome"},
        {{"wayland", "sway", ":0", "wayland-1"}, FocusSourceKind::kWlrToplevels, "wlroots"},
        {{"", "Hyprland", "", "/run/user/1000/wayland-1"}, FocusSourceKind::kWlrToplevels, "wlroots"},
        {{"wayland", "sway", ":0", ""}, FocusSourceKind::kNone, nullptr},
        {{"tty", "", "", ""}, FocusSourceKind::kNone, nullptr},
    };
    for (const Row& r : rows) {
        std::string why;
        const FocusSourceKind kind = ChooseFocusSource(r.session, why);
        EXPECT_EQ(kind, r.kind) << r.session.sessionType << " " << r.session.desktop;
        const auto source = MakeFocusSource(kind, r.session);
        if (r.name) {
            ASSERT_NE(source, nullptr);
            EXPECT_STREQ(source->Name(), r.name);
        } else {
            EXPECT_EQ(source, nullptr);
            EXPECT_FALSE(why.empty()) << "a session without a source says why";
        }
    }
    // "GNOMEISH" is not GNOME: desktops are whole words of the list.
    std::string why;
    EXPECT_EQ(ChooseFocusSource({"wayland", "GNOMEISH", "", "w"}, why), FocusSourceKind::kWlrToplevels);
}

TEST(ApplicationCatalog, ReadsDesktopFilesAsTheDesktopDoesAndMatchesWindowsToLinks) {
    test::ScratchDir dir;
    const std::string user = dir.path() + "/user", system = dir.path() + "/system";
    ::mkdir(user.c_str(), 0700);
    ::mkdir(system.c_str(), 0700);
    ::mkdir((system + "/vendor").c_str(), 0700);
    writeFile(system + "/org.example.Game.desktop",
              entry("Game", "env GAME_MODE=1 \"/opt/game/bin/game-launcher\" %U", "StartupWMClass=GameWin\n"));
    writeFile(system + "/editor.desktop", entry("Old editor", "editor"));
    writeFile(user + "/editor.desktop", entry("Editor", "/usr/bin/edit --new"));
    writeFile(system + "/vendor/tool.desktop", entry("Tool", "tool"));
    writeFile(system + "/hidden.desktop", entry("Hidden", "hidden", "NoDisplay=true\n"));
    writeFile(system + "/link.desktop", "[Desktop Entry]\nType=Link\nName=Site\nURL=x\n");
    writeFile(system + "/other-group.desktop", "[Desktop Action x]\nType=Application\nName=X\n");

    const ApplicationCatalog catalog({user, system, dir.path() + "/missing"});
    std::vector<std::string> ids;
    for (const DesktopApplication& a : catalog.Applications())
        ids.push_back(a.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"editor.desktop", "org.example.Game.desktop", "vendor-tool.desktop"}))
        << "sorted by name; the user's entry hides the system's; hidden, links and other groups left out";
    ASSERT_NE(catalog.Find("org.example.game"), nullptr);
    EXPECT_EQ(catalog.Find("org.example.Game.desktop")->exec, "game-launcher");
    EXPECT_EQ(catalog.Find("editor")->exec, "edit");

    // The desktop's id, the declared window class, the id's last word, the program.
    EXPECT_EQ(catalog.IdentityOf(app("org.example.Game", "")), "org.example.Game.desktop");
    EXPECT_EQ(catalog.IdentityOf(app("", "gamewin")), "org.example.Game.desktop");
    EXPECT_EQ(catalog.IdentityOf(app("", "Game")), "org.example.Game.desktop");
    EXPECT_EQ(catalog.IdentityOf(app("", "xterm", "game-launcher")), "org.example.Game.desktop");
    EXPECT_EQ(catalog.IdentityOf(app("", "Unknown", "unknown")), "");
    EXPECT_EQ(catalog.LinkNameOf(app("", "Unknown", "unknown")), "Unknown");
    EXPECT_EQ(catalog.LinkNameOf(app("", "", "unknown")), "unknown");

    // A link made in one session matches the same application reported another way.
    EXPECT_TRUE(catalog.Matches("org.example.Game.desktop", app("", "GameWin")));
    EXPECT_TRUE(catalog.Matches("org.example.Game.desktop", app("org.example.Game", "")));
    EXPECT_TRUE(catalog.Matches("org.example.Game.desktop", app("", "", "game-launcher")));
    EXPECT_TRUE(catalog.Matches("XTERM", app("", "xterm")));
    EXPECT_TRUE(catalog.Matches("unknown", app("", "", "unknown")));
    EXPECT_FALSE(catalog.Matches("org.example.Game.desktop", app("editor.desktop", "edit")));
    EXPECT_FALSE(catalog.Matches("", app("", "xterm")));
    EXPECT_FALSE(catalog.Matches("xterm", FocusedApplication{}));

    EXPECT_FALSE(ExecutableOfProcess(static_cast<uint32_t>(::getpid())).empty());
    EXPECT_EQ(ExecutableOfProcess(0), "");
}

TEST(ReportedFocusSource, PassesReportsOnOnlyWhileStarted) {
    ReportedFocusSource source("kwin");
    EXPECT_FALSE(source.Report(app("a", "b"))) << "not started";
    Heard heard;
    std::string why;
    ASSERT_TRUE(source.Start([&](const FocusedApplication& a) { heard.add(a); }, why));
    EXPECT_FALSE(source.HasReported());
    FocusedApplication own = app("org.example.Game", "GameWin");
    own.pid = static_cast<uint32_t>(::getpid());
    ASSERT_TRUE(source.Report(own));
    EXPECT_TRUE(source.HasReported());
    EXPECT_EQ(heard.at(0).executable, ExecutableOfProcess(own.pid)) << "the program is found from the process";
    source.Stop();
    EXPECT_FALSE(source.Report(own));
}

TEST(X11FocusSource, ReportsEachActiveWindowWithItsClassAndProcess) {
    test::XDisplay x;
    std::string why;
    if (!x.start(why))
        GTEST_SKIP() << why;

    X11FocusSource missing(":9999");
    EXPECT_FALSE(missing.Start([](const FocusedApplication&) {}, why));
    EXPECT_NE(why.find(":9999"), std::string::npos) << why;

    const uint32_t otherPid = static_cast<uint32_t>(::getppid());
    const xcb_window_t game = x.window("game", "Game.Client", otherPid);
    const xcb_window_t bare = x.window("bare", "Bare", 0); // no _NET_WM_PID: the server knows its client
    x.activate(game);

    Heard heard;
    X11FocusSource source(x.name());
    ASSERT_TRUE(source.Start([&](const FocusedApplication& a) { heard.add(a); }, why)) << why;
    ASSERT_TRUE(heard.waitFor(1)) << "the window in front at start is reported";
    EXPECT_EQ(heard.at(0).windowClass, "Game.Client");
    EXPECT_EQ(heard.at(0).instance, "game");
    EXPECT_EQ(heard.at(0).pid, otherPid);
    EXPECT_EQ(heard.at(0).executable, ExecutableOfProcess(otherPid));

    x.activate(bare);
    ASSERT_TRUE(heard.waitFor(2));
    EXPECT_EQ(heard.at(1).windowClass, "Bare");
    EXPECT_EQ(heard.at(1).pid, static_cast<uint32_t>(::getpid())) << "from the resource extension";

    x.activate(bare); // the same window again is no change
    x.activate(XCB_WINDOW_NONE);
    ASSERT_TRUE(heard.waitFor(3));
    EXPECT_TRUE(heard.at(2).IsEmpty()) << "no window in front";

    const auto t0 = std::chrono::steady_clock::now();
    source.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1)) << "the watch ends at once";
    x.activate(game);
    ::usleep(100000);
    EXPECT_EQ(heard.apps.size(), 3u) << "nothing is heard after Stop";
}

TEST(WlrForeignToplevelSource, WithoutTheListTheChoiceFallsBackAndTheListsEndIsReported) {
    test::ScratchDir dir;
    std::string why;
    WlrForeignToplevelSource nowhere(dir.file("wayland-none"));
    EXPECT_FALSE(nowhere.Start([](const FocusedApplication&) {}, why));
    EXPECT_EQ(nowhere.GetState(), WlrForeignToplevelSource::State::kNoCompositor);
    const StartedFocusSource unreachable = StartFocusSource({"wayland", "sway", "", dir.file("wayland-none")}, {});
    EXPECT_EQ(unreachable.kind, FocusSourceKind::kWlrToplevels) << "the settings tell the compositor is not reached";
    EXPECT_EQ(unreachable.source, nullptr);
    EXPECT_NE(unreachable.why.find("wayland-none"), std::string::npos) << unreachable.why;

    // A socket that takes the connection but never answers: Start gives up.
    const int mute = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    dir.file("wayland-mute").copy(a.sun_path, sizeof a.sun_path - 1);
    ASSERT_EQ(::bind(mute, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(mute, 1), 0);
    WlrForeignToplevelSource silent(dir.file("wayland-mute"));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(silent.Start([](const FocusedApplication&) {}, why));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2))
        << "the interface thread waits at most a second";
    EXPECT_NE(why.find("does not answer"), std::string::npos) << why;
    ::close(mute);

    test::FakeWaylandCompositor bare;
    ASSERT_TRUE(bare.start(dir.file("wayland-bare"), false));
    WlrForeignToplevelSource listless(dir.file("wayland-bare"));
    EXPECT_FALSE(listless.Start([](const FocusedApplication&) {}, why));
    EXPECT_EQ(listless.GetState(), WlrForeignToplevelSource::State::kNoManager);
    EXPECT_NE(why.find("zwlr_foreign_toplevel_manager_v1"), std::string::npos) << why;
    const StartedFocusSource none = StartFocusSource({"wayland", "labwc", "", dir.file("wayland-bare")}, {});
    EXPECT_EQ(none.kind, FocusSourceKind::kNone) << "a compositor without the list is like any other desktop";
    EXPECT_EQ(none.source, nullptr);
    EXPECT_FALSE(none.why.empty());

    test::FakeWaylandCompositor listing;
    ASSERT_TRUE(listing.start(dir.file("wayland-list"), true, "org.example.Game"));
    Heard heard;
    WlrForeignToplevelSource source(dir.file("wayland-list"));
    ASSERT_TRUE(source.Start([&](const FocusedApplication& a) { heard.add(a); }, why)) << why;
    ASSERT_TRUE(heard.waitForClass("org.example.Game")) << heard.classes();
    // A dialog without an app id of its own is in front as its parent's application.
    listing.openDialog();
    ASSERT_TRUE(heard.waitFor(2));
    EXPECT_EQ(heard.at(1).windowClass, "org.example.Game") << "the dialog is another window of the same application";
    listing.finishList();
    ASSERT_TRUE(heard.waitFor(3));
    EXPECT_TRUE(heard.at(2).IsEmpty()) << "nothing is known in front once the list ends";
    EXPECT_EQ(source.GetState(), WlrForeignToplevelSource::State::kFinished);
    source.Stop();
    EXPECT_EQ(heard.count(), 3u);
}

TEST(WlrForeignToplevelSource, ReportsTheActivatedWindowOfARealCompositorUntilItGoes) {
    test::Sway sway;
    std::string why;
    if (!sway.start(why))
        GTEST_SKIP() << why;
    Heard heard;
    WlrForeignToplevelSource source(sway.display());
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(source.Start([&](const FocusedApplication& a) { heard.add(a); }, why)) << why;
    const auto started = std::chrono::steady_clock::now() - t0;
    ASSERT_TRUE(heard.waitFor(1)) << "the start is reported with nothing in front";
    EXPECT_TRUE(heard.at(0).IsEmpty());

    // A new window takes the focus.
    ASSERT_GT(sway.window("org.example.Game", "Game"), 0);
    ASSERT_TRUE(heard.waitForClass("org.example.Game")) << heard.classes();
    EXPECT_EQ(heard.at(1).pid, 0u) << "the list carries no process";
    const pid_t editor = sway.window("org.example.Editor", "Editor");
    ASSERT_TRUE(heard.waitForClass("org.example.Editor")) << heard.classes();
    t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(sway.focus("org.example.Game")) << sway.lastError();
    ASSERT_TRUE(heard.waitForClass("org.example.Game")) << heard.classes();
    const auto moved = std::chrono::steady_clock::now() - t0;
    ASSERT_TRUE(sway.focus("Editor", "title")) << sway.lastError();
    ASSERT_TRUE(heard.waitForClass("org.example.Editor")) << heard.classes();
    std::printf("sway: Start %.2f ms; swaymsg focus to report %.2f ms\n",
                std::chrono::duration<double, std::milli>(started).count(),
                std::chrono::duration<double, std::milli>(moved).count());

    // This program's own window: known as this process, which the follower leaves alone.
    ASSERT_GT(sway.window(kBusName, "TALYX"), 0);
    ASSERT_TRUE(heard.waitForClass(kBusName)) << heard.classes();
    EXPECT_EQ(heard.last().pid, static_cast<uint32_t>(::getpid()));

    // The window in front closes: another comes.
    ASSERT_TRUE(sway.focus("org.example.Editor")) << sway.lastError();
    ASSERT_TRUE(heard.waitForClass("org.example.Editor"));
    const size_t beforeClose = heard.count();
    sway.close(editor);
    ASSERT_TRUE(heard.waitFor(beforeClose + 1));
    EXPECT_NE(heard.last().windowClass, "org.example.Editor") << heard.classes();

    const size_t before = heard.count();
    sway.kill();
    ASSERT_TRUE(heard.waitFor(before + 1));
    EXPECT_TRUE(heard.last().IsEmpty()) << "the compositor is gone: nothing is in front";
    EXPECT_EQ(source.GetState(), WlrForeignToplevelSource::State::kLost);
    t0 = std::chrono::steady_clock::now();
    source.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
}
