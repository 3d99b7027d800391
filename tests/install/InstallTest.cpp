// The installation as a desktop finds it: "cmake --install" into a private prefix, every
// file checked with the desktop's own validators where they exist, the installed program
// started from the prefix and through the session bus, and the Debian package.
#include <QDir>
#include <QDirIterator>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

#include "app/ProgramOptions.h"
#include "device/transport/DeviceIdentification.h"
#include "online/UpdateTable.h"
#include "platform/Product.h"
#include "tests/install/UdevRuleCheck.h"
#include "tests/support/QtTestSupport.h"

using namespace talyx;

namespace {

const QString kId = QString::fromLatin1(kBusName);

struct Ran {
    int code = -1;
    QString out;
    QString err;
    std::string text() const { return "exit " + std::to_string(code) + "\n" + out.toStdString() + err.toStdString(); }
};

Ran run(const QString& program, const QStringList& args, const QProcessEnvironment& env = {},
        const QString& folder = QString(), int ms = 60000) {
    QProcess p;
    if (!env.isEmpty())
        p.setProcessEnvironment(env);
    if (!folder.isEmpty())
        p.setWorkingDirectory(folder);
    p.start(program, args);
    Ran r;
    if (!p.waitForStarted(5000))
        return r;
    if (!p.waitForFinished(ms))
        p.kill();
    p.waitForFinished(2000);
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

bool have(const QString& tool) {
    return run("sh", {"-c", "command -v " + tool}).code == 0;
}

QString readText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The value of a key in a group of a desktop-entry style file ("" when missing).
QString keyValue(const QString& text, const QString& group, const QString& key) {
    bool inGroup = false;
    for (const QString& line : text.split('\n')) {
        if (line.startsWith('['))
            inGroup = line.trimmed() == "[" + group + "]";
        else if (inGroup && line.section('=', 0, 0).trimmed() == key)
            return line.section('=', 1).trimmed();
    }
    return QString();
}

// A private home for one run of the installed program: its own folders, the offscreen
// platform, no devices, nothing that points at the build tree or the user's session.
QProcessEnvironment privateHome(QTemporaryDir& home) {
    QFile::setPermissions(home.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"TALYX_DATA_DIR", "DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(name);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TALYX_DEBUG", "1");
    env.insert("XDG_RUNTIME_DIR", home.path());
    env.insert("XDG_DATA_HOME", home.path() + "/data");
    env.insert("XDG_CONFIG_HOME", home.path() + "/config");
    env.insert("TALYX_HID_BUS", home.path() + "/no-devices");
    return env;
}

// One installation per test program into a private prefix.
class Installation {
public:
    static Installation& get() {
        static Installation installation;
        return installation;
    }
    bool ok() const { return m_ok; }
    const std::string& log() const { return m_log; }
    QString path(const QString& relative) const { return m_dir.path() + "/" + relative; }
    QString prefix() const { return m_dir.path(); }

private:
    Installation() {
        const Ran r = run(TALYX_CMAKE_COMMAND, {"--install", TALYX_BUILD_DIR, "--prefix", m_dir.path()});
        m_ok = r.code == 0;
        m_log = r.text();
    }
    QTemporaryDir m_dir;
    bool m_ok = false;
    std::string m_log;
};

class Install : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Installation::get().ok()) << Installation::get().log(); }
    QString path(const QString& relative) const { return Installation::get().path(relative); }
};

// The (vendor, product) of each device the program opens.
QSet<QPair<int, int>> supportedProducts() {
    QSet<QPair<int, int>> products;
    for (const SupportedDeviceEntry& row : SupportedDeviceRows())
        products.insert({row.vendorId, row.productId});
    return products;
}

const QString kTree[] = {"skin", "DefaultData", "lang"};

QStringList filesUnder(const QString& root) {
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(root.size() + 1);
    files.sort();
    return files;
}

} // namespace

TEST_F(Install, PutsEveryFileWhereTheDesktopLooksAndNothingElse) {
    const QStringList expected = [] {
        QStringList e = {"bin/talyx",
                         "bin/talyxctl",
                         "bin/talyx-audio",
                         "share/man/man1/talyxctl.1",
                         "share/bash-completion/completions/talyxctl",
                         "lib/udev/rules.d/70-talyx.rules",
                         "share/applications/" + kId + ".desktop",
                         "share/metainfo/" + kId + ".metainfo.xml",
                         "share/dbus-1/services/" + kId + ".service",
                         "share/man/man1/talyx.1",
                         "share/icons/hicolor/scalable/apps/" + kId + ".svg",
                         "share/kwin/scripts/talyx-focus/metadata.json",
                         "share/kwin/scripts/talyx-focus/contents/code/main.js",
                         "share/gnome-shell/extensions/talyx-focus@talyx.org/metadata.json",
                         "share/gnome-shell/extensions/talyx-focus@talyx.org/extension.js"};
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256, 512})
            e << QString("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(kId);
        for (const char* font : {"Simplified_Chinese.ttf", "Vellgard-Regular.otf", "NotoSansThai-Regular.ttf",
                                 "NotoSansCJKtc-Regular.otf"})
            e << QString("share/talyx/Font/") + font;
        // The program data as the source tree has it.
        for (const QString& tree : kTree)
            for (const QString& file : filesUnder(QStringLiteral(TALYX_SOURCE_DIR) + "/" + tree))
                e << "share/talyx/" + tree + "/" + file;
        e.sort();
        return e;
    }();
    const QStringList installed = filesUnder(Installation::get().prefix());
    for (const QString& file : expected)
        EXPECT_TRUE(installed.contains(file)) << "missing: " << file.toStdString();
    for (const QString& file : installed)
        EXPECT_TRUE(expected.contains(file)) << "not expected (a developer tool?): " << file.toStdString();

    EXPECT_TRUE(QFileInfo(path("bin/talyx")).isExecutable());
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        const QImage icon(path(QString("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(kId)));
        EXPECT_EQ(icon.size(), QSize(size, size)) << size;
        EXPECT_EQ(icon.pixelColor(0, 0).alpha(), 0) << "round corners on a transparent ground, " << size;
    }
    // The fonts are links to the system's font files, which may or may not be installed.
    for (const QString& file : installed.filter("share/talyx/Font/")) {
        const QFileInfo link(path(file));
        ASSERT_TRUE(link.isSymLink()) << file.toStdString();
        EXPECT_TRUE(link.symLinkTarget().startsWith("/usr/share/fonts/")) << link.symLinkTarget().toStdString();
        if (link.exists()) {
            EXPECT_TRUE(link.isFile() && link.isReadable()) << file.toStdString();
        }
    }
}

TEST_F(Install, DesktopEntryAndMetainfoPassTheirValidatorsAndAgreeWithTheProgram) {
    const QString desktop = path("share/applications/" + kId + ".desktop");
    const QString metainfo = path("share/metainfo/" + kId + ".metainfo.xml");
    if (!have("desktop-file-validate") || !have("appstreamcli"))
        GTEST_SKIP() << "desktop-file-validate or appstreamcli is not installed (desktop-file-utils, appstream)";
    const Ran entryCheck = run("desktop-file-validate", {desktop});
    EXPECT_EQ(entryCheck.code, 0) << entryCheck.text();
    EXPECT_TRUE(entryCheck.out.isEmpty()) << "not even a hint: " << entryCheck.text();
    const Ran infoCheck = run("appstreamcli", {"validate", "--no-net", metainfo});
    EXPECT_EQ(infoCheck.code, 0) << infoCheck.text();

    const QString entry = readText(desktop);
    EXPECT_EQ(keyValue(entry, "Desktop Entry", "Exec"), "talyx");
    EXPECT_EQ(keyValue(entry, "Desktop Entry", "Icon"), kId);
    EXPECT_EQ(keyValue(entry, "Desktop Entry", "Name"), QString::fromUtf8(kProductTitle));

    QDomDocument doc;
    ASSERT_TRUE(doc.setContent(readText(metainfo)));
    const QDomElement component = doc.documentElement();
    EXPECT_EQ(component.firstChildElement("id").text(), kId);
    EXPECT_EQ(component.firstChildElement("launchable").text(), kId + ".desktop");
    EXPECT_EQ(component.firstChildElement("releases").firstChildElement("release").attribute("version"),
              QString::fromLatin1(ProgramVersion()))
        << "the newest release is the version the program says it is";
    // A software centre offers the program for every device it supports.
    QSet<QPair<int, int>> offered;
    const QDomElement provides = component.firstChildElement("provides");
    EXPECT_EQ(provides.firstChildElement("binary").text(), "talyx");
    EXPECT_EQ(provides.firstChildElement("dbus").text(), kId);
    for (QDomElement m = provides.firstChildElement("modalias"); !m.isNull(); m = m.nextSiblingElement("modalias")) {
        const auto match = QRegularExpression("^usb:v([0-9A-F]{4})p([0-9A-F]{4})d\\*$").match(m.text());
        ASSERT_TRUE(match.hasMatch()) << m.text().toStdString();
        offered.insert({match.captured(1).toInt(nullptr, 16), match.captured(2).toInt(nullptr, 16)});
    }
    EXPECT_EQ(offered, supportedProducts());
}

TEST_F(Install, UdevRuleGivesTheSeatAccessToEverySupportedDevice) {
    const QString rule = path("lib/udev/rules.d/70-talyx.rules");
    EXPECT_LT(QString("70-talyx.rules"), QString("73-seat-late.rules"))
        << "the tag must be there before the seat rules";
    if (have("udevadm") && run("udevadm", {"verify", "--help"}).code == 0) {
        const Ran verified = run("udevadm", {"verify", rule});
        EXPECT_EQ(verified.code, 0) << verified.text();
    }
    // Checked by its own reading too, as udevadm verify is newer than some systems' udev.
    const UdevRuleCheck check = CheckUdevRules(readText(rule).toStdString());
    EXPECT_TRUE(check.errors.empty()) << check.errors.front();
    // Exactly the supported devices: not every device of their vendors (a headset chip's
    // vendor makes many other things).
    QSet<QPair<int, int>> devices;
    for (const auto& [vendor, product] : check.accessDevices)
        devices.insert({vendor, product});
    EXPECT_EQ(devices, supportedProducts());
}

TEST(UdevRuleCheck, FindsTheMistakesOfARuleFile) {
    const struct {
        const char* rules;
        const char* error;
    } bad[] = {
        {R"(SUBSYSTEM="hidraw", ATTRS{idVendor}=="320f", TAG+="uaccess")", "assigns to a match key"},
        {R"(SUBSYSTEM=="hidraw", ATRS{idVendor}=="320f", TAG+="uaccess")", "unknown key"},
        {R"(SUBSYSTEM=="hidraw", ATTRS{idVendor}=="320f" TAG+="uaccess")", "not key, operator, quoted value"},
        {R"(SUBSYSTEM=="hidraw", ATTRS{idVendor}=="320F", TAG+="uaccess")", "four lower-case hex digits"},
        {R"(ATTRS{idVendor}=="320f", TAG+="uaccess")", "SUBSYSTEM==\"hidraw\""},
        {R"(SUBSYSTEM=="hidraw", TAG+="uaccess")", "must match ATTRS{idVendor}"},
    };
    for (const auto& b : bad) {
        const UdevRuleCheck check = CheckUdevRules(b.rules);
        ASSERT_FALSE(check.errors.empty()) << b.rules;
        EXPECT_NE(check.errors.front().find(b.error), std::string::npos) << b.rules << "\n" << check.errors.front();
    }
    const UdevRuleCheck good = CheckUdevRules("# comment\n\nSUBSYSTEM==\"hidraw\", \\\n  ATTRS{idVendor}==\"0c76\", "
                                              "ATTRS{idProduct}==\"1630\", TAG+=\"uaccess\"\n");
    EXPECT_TRUE(good.errors.empty()) << good.errors.front();
    EXPECT_EQ(good.accessDevices, (std::vector<std::pair<int, int>>{{0x0c76, 0x1630}}));
    EXPECT_EQ(CheckUdevRules("SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"320f\", TAG+=\"uaccess\"").accessDevices,
              (std::vector<std::pair<int, int>>{{0x320f, -1}}));
}

TEST_F(Install, BusServiceStartsTheInstalledProgramInTheBackground) {
    const QString service = readText(path("share/dbus-1/services/" + kId + ".service"));
    EXPECT_EQ(keyValue(service, "D-BUS Service", "Name"), kId);
    EXPECT_EQ(keyValue(service, "D-BUS Service", "Exec"), path("bin/talyx") + " --background");
    if (!have("dbus-daemon"))
        GTEST_SKIP() << "dbus-daemon is not installed (dbus)";

    // A session bus that knows only the installed services; a call starts the program.
    QTemporaryDir home;
    QProcessEnvironment env = privateHome(home);
    QFile config(home.path() + "/bus.conf");
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(QString("<busconfig><type>session</type><listen>unix:tmpdir=%1</listen>"
                         "<servicedir>%2</servicedir><policy context=\"default\"><allow send_destination=\"*\"/>"
                         "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>")
                     .arg(home.path(), path("share/dbus-1/services"))
                     .toUtf8());
    config.close();
    QProcess daemon;
    daemon.setProcessEnvironment(env);
    daemon.start("dbus-daemon", {"--config-file=" + config.fileName(), "--nofork", "--print-address=1"});
    ASSERT_TRUE(daemon.waitForStarted(5000) && daemon.waitForReadyRead(5000));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    env.insert("DBUS_SESSION_BUS_ADDRESS", address);
    auto dbusSend = [&](const QStringList& args) { return run("dbus-send", args, env); };
    const Ran call = dbusSend({"--session", "--print-reply", "--reply-timeout=20000", "--dest=" + kId,
                               QString::fromLatin1(kBusPath), QString::fromLatin1(kBusInterface) + ".PostMessage",
                               "string:{4695579F-999A-41d4-9FAF-EFFCE93EBF17}", "uint64:1", "int64:1"});
    EXPECT_EQ(call.code, 0) << call.text();
    EXPECT_TRUE(call.out.contains("boolean true")) << call.text();
    const Ran pid = dbusSend({"--session", "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                              "org.freedesktop.DBus.GetConnectionUnixProcessID", "string:" + kId});
    const auto match = QRegularExpression("uint32 (\\d+)").match(pid.out);
    ASSERT_TRUE(match.hasMatch()) << pid.text();
    const QString cmdline = readText("/proc/" + match.captured(1) + "/cmdline");
    EXPECT_EQ(cmdline, path("bin/talyx") + QChar(0) + "--background" + QChar(0));
    ::kill(match.captured(1).toInt(), SIGTERM);
    EXPECT_TRUE(talyx::test::waitUntil([&] { return !QFile::exists("/proc/" + match.captured(1)); }, 10000));
    daemon.kill();
    daemon.waitForFinished(2000);
}

namespace {

// A manual page as the reader sees it: plain text, long paths joined again where they
// were broken after a slash. The formatter's warnings go to *warnings. Empty when
// neither man nor groff is installed.
QString renderManual(const QString& page, QString* warnings) {
    QString rendered;
    if (have("man")) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", "C.UTF-8");
        env.insert("MANWIDTH", "80");
        env.insert("MANROFFSEQ", "");
        const Ran check = run("man", {"--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", page}, env);
        *warnings = check.code == 0 ? check.err : check.text().c_str();
        rendered = run("man", {"-l", page}, env).out;
    } else if (have("groff")) {
        const Ran check = run("groff", {"-man", "-ww", "-z", page});
        *warnings = check.code == 0 ? check.err : check.text().c_str();
        rendered = run("groff", {"-man", "-Tutf8", page}).out;
    }
    rendered.remove(QRegularExpression(".\b")); // overstrike bold and underline
    rendered.replace(QChar(0x2010), '-').replace(QChar(0x2212), '-');
    return rendered.replace(QRegularExpression("/\\n\\s+"), "/");
}

} // namespace

TEST_F(Install, ManualPageFormatsCleanlyAndTellsEveryOption) {
    QString warnings;
    const QString rendered = renderManual(path("share/man/man1/talyx.1"), &warnings);
    if (rendered.isEmpty())
        GTEST_SKIP() << "neither man nor groff is installed (man-db, groff-base)";
    EXPECT_TRUE(warnings.isEmpty()) << warnings.toStdString();
    // Every option of the usage text, and every exit status.
    const QString usage = QString::fromStdString(ProgramUsage());
    auto options = QRegularExpression("(?<![\\w-])--?[a-z]+").globalMatch(usage);
    int count = 0;
    while (options.hasNext()) {
        const QString option = options.next().captured(0);
        ++count;
        EXPECT_TRUE(rendered.contains(option)) << option.toStdString() << " is not in the manual";
    }
    EXPECT_GE(count, 4);
    for (int code : {0, kExitNoDisplay, kExitUsage})
        EXPECT_TRUE(rendered.contains(QRegularExpression(QString("\\n\\s+%1\\s").arg(code)))) << code;
    EXPECT_TRUE(rendered.contains(path("share/talyx/"))) << "the manual names the installed data folder";
    EXPECT_TRUE(rendered.contains(path("lib/udev/rules.d/70-talyx.rules")));
    EXPECT_TRUE(rendered.contains("udevadm control --reload"));
}

// The command line's manual names every option and command of its usage text, and the
// installed bash completion loads and completes its commands.
TEST_F(Install, CommandLineManualAndCompletionCoverItsUsage) {
    const Ran usage = run(path("bin/talyxctl"), {"--help"});
    ASSERT_EQ(usage.code, 0) << usage.text();
    QString warnings;
    const QString rendered = renderManual(path("share/man/man1/talyxctl.1"), &warnings);
    if (!rendered.isEmpty()) {
        EXPECT_TRUE(warnings.isEmpty()) << warnings.toStdString();
        auto words =
            QRegularExpression("(?<![\\w-])--[a-z-]+|^  ([a-z]+( [a-z]+)?)", QRegularExpression::MultilineOption)
                .globalMatch(usage.out);
        int count = 0;
        while (words.hasNext()) {
            const auto m = words.next();
            const QString word = m.captured(1).isEmpty() ? m.captured(0) : m.captured(1);
            ++count;
            EXPECT_TRUE(rendered.contains(word)) << word.toStdString() << " is not in the manual";
        }
        EXPECT_GE(count, 20);
        EXPECT_TRUE(rendered.contains(path("share/bash-completion/completions/talyxctl")));
    }
    const QString completion = path("share/bash-completion/completions/talyxctl");
    const Ran completed =
        run("bash", {"-c", QString("source '%1' && COMP_WORDS=(talyxctl profile s) COMP_CWORD=2 && _talyxctl && "
                                   "echo \"${COMPREPLY[*]}\" && COMP_WORDS=(talyxctl --device k) COMP_CWORD=2 && "
                                   "_talyxctl && echo \"${COMPREPLY[*]}\"")
                               .arg(completion)});
    EXPECT_EQ(completed.code, 0) << completed.text();
    EXPECT_EQ(completed.out, "select\nkeyboard\n") << completed.text();
}

TEST_F(Install, InstalledProgramFindsItsDataAndStartsHeadless) {
    const Ran version = run(path("bin/talyx"), {"--version"});
    EXPECT_EQ(version.code, 0) << version.text();
    EXPECT_EQ(version.out.toStdString(), ProgramVersionLine());

    // Started from another folder, with nothing in the environment pointing at the build.
    QTemporaryDir home;
    QProcessEnvironment env = privateHome(home);
    env.insert("TALYX_EXIT_WHEN_SHOWN", "1");
    const Ran shown = run(path("bin/talyx"), {}, env, home.path());
    EXPECT_EQ(shown.code, 0) << shown.text();
    EXPECT_TRUE(shown.err.contains("InitWindow")) << "the skin was found: " << shown.text();
    env.remove("TALYX_EXIT_WHEN_SHOWN");
    env.insert("TALYX_SCREENSHOT", home.path() + "/window.png");
    const Ran shot = run(path("bin/talyx"), {}, env, home.path());
    EXPECT_EQ(shot.code, 0) << shot.text();
    const QImage window(home.path() + "/window.png");
    EXPECT_GE(window.width(), 800) << shot.text();
    EXPECT_GE(window.height(), 500) << shot.text();
}

TEST(Package, DebianPackageHoldsTheInstallationUnderUsr) {
    if (!have("dpkg-deb") || !have("dpkg-shlibdeps"))
        GTEST_SKIP() << "dpkg-deb or dpkg-shlibdeps is not installed (dpkg-dev)";
    QTemporaryDir out;
    const Ran made = run(TALYX_CPACK_COMMAND,
                         {"--config", QString(TALYX_BUILD_DIR) + "/CPackConfig.cmake", "-G", "DEB", "-B", out.path()},
                         {}, QStringLiteral(TALYX_BUILD_DIR), 300000);
    ASSERT_EQ(made.code, 0) << made.text();
    const QStringList debs = QDir(out.path()).entryList({"*.deb"});
    ASSERT_EQ(debs.size(), 1) << made.text();
    const QString deb = out.path() + "/" + debs.front();
    EXPECT_TRUE(debs.front().startsWith(QString("talyx_%1_").arg(ProgramVersion())));
    auto field = [&](const char* name) { return run("dpkg-deb", {"-f", deb, name}).out.trimmed(); };
    EXPECT_EQ(field("Package"), "talyx");
    EXPECT_EQ(field("Version"), QString::fromLatin1(ProgramVersion()));
    for (const char* lib : {"libqt6widgets6", "libqt6dbus6", "libjsoncpp25", "libcurl4", "qt6-qpa-plugins"})
        EXPECT_TRUE(field("Depends").contains(lib)) << lib << ": " << field("Depends").toStdString();
    EXPECT_TRUE(field("Recommends").contains("fonts-wqy-microhei"));

    const QString root = out.path() + "/root";
    ASSERT_EQ(run("dpkg-deb", {"-x", deb, root}).code, 0);
    ASSERT_EQ(run("dpkg-deb", {"-e", deb, out.path() + "/control"}).code, 0);
    for (const char* file : {"usr/bin/talyx", "usr/lib/udev/rules.d/70-talyx.rules", "usr/share/talyx/skin/res.xml",
                             "usr/share/man/man1/talyx.1", "usr/bin/talyxctl", "usr/share/man/man1/talyxctl.1",
                             "usr/share/bash-completion/completions/talyxctl"})
        EXPECT_TRUE(QFileInfo::exists(root + "/" + file)) << file;
    const QString service = readText(root + "/usr/share/dbus-1/services/" + kId + ".service");
    EXPECT_EQ(keyValue(service, "D-BUS Service", "Exec"), "/usr/bin/talyx --background");
    for (const char* script : {"postinst", "postrm"}) {
        const QString file = out.path() + "/control/" + script;
        EXPECT_TRUE(QFileInfo(file).isExecutable()) << script;
        const Ran syntax = run("sh", {"-n", file});
        EXPECT_EQ(syntax.code, 0) << script << ": " << syntax.text();
        EXPECT_TRUE(readText(file).contains("udevadm trigger --subsystem-match=hidraw")) << script;
    }
}
