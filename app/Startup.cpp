#include "app/Startup.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

#include "app/AppBus.h"
#include "app/AppMessages.h"
#include "app/Automation.h"
#include "app/BackgroundMainWnd.h"
#include "app/CMainWnd.h"
#include "app/ControlRegistry.h"
#include "app/DisplayGuard.h"
#include "app/FontLoader.h"
#include "app/Language.h"
#include "app/SingleInstance.h"
#include "online/UpdateTable.h"
#include "platform/Debug.h"
#include "platform/FileIO.h"
#include "platform/MessageRegistry.h"
#include "platform/Paths.h"
#include "platform/Product.h"
#include "platform/Registry.h"
#include "ui/CButtonUI.h"
#include "ui/CPaintManagerUI.h"
#include "ui/CResourceManager.h"
#include "ui/WindowMessages.h"

namespace talyx {
namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

// SIGTERM and SIGINT close the main window the ordinary way, so that workers stop and
// files are complete before the process ends.
void closeOnSignals(QObject* owner) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [] {
        char c;
        [[maybe_unused]] ssize_t n = ::read(g_signalPipe[0], &c, 1);
        if (CMainWnd* wnd = CMainWnd::Instance())
            wnd->Close();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

// The interface face name of the font set is a Windows face; on this system it stands
// for the program's own fonts and good desktop fonts that cover every language.
void substituteFaces() {
    QFont::insertSubstitutions(QString::fromLatin1(kFontSetFace),
                               {QStringLiteral("Play"), QStringLiteral("Noto Sans"), QStringLiteral("DejaVu Sans"),
                                QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                                QStringLiteral("Noto Sans Thai")});
}

void scheduleScreenshot(CMainWnd* wnd, const QString& path) {
    // The window is brought forward by the instance message and fitted after 100 ms;
    // the picture is taken once both are done.
    bool ok = false;
    int delay = qEnvironmentVariableIntValue("TALYX_SCREENSHOT_DELAY_MS", &ok);
    if (!ok || delay < 0)
        delay = 1500;
    // Controls named in TALYX_SCREENSHOT_CLICKS are clicked first, in order, as a user
    // would; the picture follows once the devices have answered.
    const QStringList clicks =
        QString::fromLocal8Bit(qgetenv("TALYX_SCREENSHOT_CLICKS")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    auto grab = [wnd, path] {
        wnd->show();
        const bool saved = wnd->grab().save(path, "PNG");
        DebugOutput(saved ? "screenshot saved" : "screenshot failed");
        wnd->Close();
    };
    QTimer::singleShot(delay, wnd, [wnd, clicks, grab] {
        if (clicks.isEmpty()) {
            grab();
            return;
        }
        for (const QString& name : clicks)
            if (auto* button = qobject_cast<CButtonUI*>(wnd->FindControl(name.trimmed())))
                button->Activate();
        QTimer::singleShot(800, wnd, grab);
    });
}

// A copy that was killed in the middle of a write leaves its temporary file behind; the
// next start removes those of its own user's folders (RemoveStaleTempFiles leaves the
// files of a copy that still runs, and anything not ours).
void removeUnfinishedWrites() {
    const QString product = QString::fromStdString(ProductDataDir());
    if (!product.isEmpty()) {
        RemoveStaleTempFiles(product.toStdString());
        for (const QString& family : QDir(product).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks))
            RemoveStaleTempFiles((product + '/' + family).toStdString());
    }
    const std::string store = RegistryStore::user().filePath();
    const size_t slash = store.find_last_of('/');
    if (slash != std::string::npos)
        RemoveStaleTempFiles(store.substr(0, slash));
}

// Ends the program once the main window has been painted for the first time: start-up
// time measurements run the whole program this way.
class ExitWhenShown : public QObject {
public:
    explicit ExitWhenShown(CMainWnd* wnd) : QObject(wnd), m_wnd(wnd) { wnd->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_wnd && event->type() == QEvent::Paint && m_wnd->isVisible() && !m_done) {
            m_done = true;
            QTimer::singleShot(0, m_wnd, [wnd = m_wnd] { wnd->Close(); });
        }
        return false;
    }

private:
    CMainWnd* m_wnd;
    bool m_done = false;
};

} // namespace

int RunApplication(int argc, char** argv, const ProgramOptions& options) {
    auto displayGuard = std::make_unique<DisplayGuard>();
    QApplication app(argc, argv);
    displayGuard.reset();
    QApplication::setApplicationName(QString::fromUtf8(kProductTitle));
    // The installed desktop entry is named after the bus name; Wayland desktops match the
    // window to its entry (and so its icon) by this name.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kBusName));
    QApplication::setQuitOnLastWindowClosed(false);
    const QString dataDir = QString::fromStdString(ProgramDataDir());

    // 1. Private fonts.
    PrivateFonts fonts;
    fonts.Load(dataDir);
    substituteFaces();

    // 3. The instance message.
    const uint32_t instanceMessage = RegisterInstanceMessage();
    DebugOutputF("软件标示：%d", static_cast<int>(instanceMessage));
    if (instanceMessage < kFirstRegisteredMessage || instanceMessage > kLastRegisteredMessage) {
        fonts.Remove();
        return 0;
    }

    // 4. One copy per session: a later copy brings the first forward and ends; one told
    // to stay in the background leaves it as it is.
    // The automation object is on the bus before the name is ours: a call the bus holds
    // for the name (a start through the service file) is delivered as soon as we own it.
    Automation automation;
    automation.Export();
    SingleInstance instance;
    if (instance.claim() == SingleInstance::Claim::AlreadyRunning) {
        if (!options.background)
            instance.activateRunning();
        fonts.Remove();
        return 0;
    }
    removeUnfinishedWrites();
    // What an installer does on the first start: the product's settings key.
    CPaintManagerUI::SetInstancePath(dataDir);
    StoreDesktopLanguage();
    StoreInstalledVersion();

    // 5, 6. Skin.
    CPaintManagerUI::SetResourceType(CPaintManagerUI::kResourceFile);
    CPaintManagerUI::SetResourcePath(CPaintManagerUI::GetInstancePath() + QStringLiteral("skin/"));
    CResourceManager::GetInstance().LoadResource(QStringLiteral("res.xml"));

    // 7, 8. Control classes and the companions' messages.
    RegisterControlClasses();
    RegisterAppMessages();

    // 9, 10. The main window.
    AppBus bus;
    std::unique_ptr<CMainWnd> wnd;
    if (options.background) {
        DebugOutput("starting in the background");
        wnd = std::make_unique<BackgroundMainWnd>(&bus);
    } else {
        wnd = std::make_unique<CMainWnd>(&bus);
    }
    bus.SetTarget(wnd.get());
    automation.SetWindow(wnd.get());
    if (instance.ownsBusName())
        bus.Export();
    if (!wnd->Create(nullptr, QString::fromUtf8(kProductTitle), QRect(0, 0, 800, 572))) {
        DebugOutput("main window could not be created");
        instance.release();
        fonts.Remove();
        return 0;
    }
    wnd->CenterWindow();
    closeOnSignals(&app);
    const QByteArray screenshot = qgetenv("TALYX_SCREENSHOT");
    if (!screenshot.isEmpty())
        scheduleScreenshot(wnd.get(), QString::fromLocal8Bit(screenshot));
    if (qgetenv("TALYX_EXIT_WHEN_SHOWN") == "1")
        new ExitWhenShown(wnd.get());

    // 11. Message loop.
    const int code = CPaintManagerUI::MessageLoop();

    // 12. Shutdown.
    automation.SetWindow(nullptr);
    wnd.reset();
    CResourceManager::GetInstance().Release();
    instance.release();
    fonts.Remove();
    return code == 0 ? 0 : code;
}

} // namespace talyx
