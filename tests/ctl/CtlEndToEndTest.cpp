// talyxctl against the whole program: a private session bus whose service folder starts
// talyx in the background, and talyx-vdev's keyboard at its default 1 ms timing. Each
// command must change the profile files and the keyboard as the window's action does.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

#include "device/transport/DeviceIdentification.h"
#include "keyboard/KeyTables.h"
#include "keyboard/KeyboardLightRecord.h"
#include "platform/JsonFile.h"
#include "platform/Paths.h"
#include "profile/DefaultLightNames.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/TestSupport.h"
#include "vdev/VdevFraming.h"
#include "vdev/VdevProcess.h"

using namespace talyx;
using talyx::test::ScopedEnv;
using talyx::test::waitUntil;

namespace {

QString binary(const char* name) {
    return QCoreApplication::applicationDirPath() + "/" + name;
}

struct Ran {
    int code = -1;
    QString out;
    QString err;
    QJsonObject json() const { return QJsonDocument::fromJson(out.toUtf8()).object(); }
};

// A session bus of the test's own that starts the program through a service file in a
// folder the test writes, with the program's folders and the virtual bus in its
// environment (the bus hands its environment to what it starts).
class ActivatingBus {
public:
    bool start(const QString& root, bool withService) {
        m_root = root;
        QDir().mkpath(root + "/services");
        if (withService) {
            QFile service(root + "/services/org.talyx.RgbGamingKeyboard.service");
            if (!service.open(QIODevice::WriteOnly))
                return false;
            service.write(QString("[D-BUS Service]\nName=org.talyx.RgbGamingKeyboard\n"
                                  "Exec=/bin/sh -c \"exec '%1' --background >>'%2/talyx.log' 2>&1\"\n")
                              .arg(binary("talyx"), root)
                              .toUtf8());
        }
        QFile config(root + "/bus.conf");
        if (!config.open(QIODevice::WriteOnly))
            return false;
        config.write(QString("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
                             "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                             "<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                             "<servicedir>%1/services</servicedir>"
                             "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                             "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
                         .arg(root)
                         .toUtf8());
        config.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", root);
        env.insert("XDG_DATA_HOME", root + "/data");
        env.insert("XDG_CONFIG_HOME", root + "/config");
        env.insert("TALYX_HID_BUS", root + "/hid");
        env.insert("TALYX_DEBUG", "1");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        m_daemon.setProcessEnvironment(env);
        m_daemon.start("dbus-daemon", {"--config-file=" + root + "/bus.conf", "--nofork", "--print-address=1"});
        if (!m_daemon.waitForStarted(5000) || !m_daemon.waitForReadyRead(5000))
            return false;
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        return !m_address.isEmpty();
    }
    ~ActivatingBus() {
        // The program the bus started is ours to end.
        if (m_programPid > 0)
            ::kill(m_programPid, SIGTERM);
        m_daemon.kill();
        m_daemon.waitForFinished(2000);
    }
    Ran ctl(const QStringList& args, int timeoutMs = 60000) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", m_address);
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(m_root);
        p.start(binary("talyxctl"), args);
        Ran r;
        if (!p.waitForFinished(timeoutMs)) {
            p.kill();
            p.waitForFinished(2000);
            r.err = "talyxctl did not end";
            return r;
        }
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
    // The process that owns the program's name, remembered so that it is ended.
    pid_t programPid() {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", m_address);
        p.setProcessEnvironment(env);
        p.start("dbus-send",
                {"--session", "--print-reply=literal", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                 "org.freedesktop.DBus.GetConnectionUnixProcessID", "string:org.talyx.RgbGamingKeyboard"});
        p.waitForFinished(5000);
        const QStringList words = QString::fromUtf8(p.readAllStandardOutput()).split(' ', Qt::SkipEmptyParts);
        m_programPid = words.isEmpty() ? -1 : words.last().toInt();
        return m_programPid;
    }
    QString log() const {
        QFile f(m_root + "/talyx.log");
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private:
    QString m_root;
    QProcess m_daemon;
    QString m_address;
    pid_t m_programPid = -1;
};

std::vector<uint8_t> bytes(const Json::Value& hex) {
    std::vector<uint8_t> out;
    vdev::FromHex(hex.asString(), out);
    return out;
}

std::string describe(const Ran& r) {
    return ("exit " + QString::number(r.code) + "\nout: " + r.out + "\nerr: " + r.err).toStdString();
}

} // namespace

TEST(Ctl, EveryCommandChangesTheFilesAndTheKeyboardAsTheWindowDoes) {
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString root = dir.path();
    vdev::VdevProcess vdev;
    ASSERT_TRUE(vdev.start((root + "/hid").toStdString(), {"keyboard"})) << vdev.lastError();
    ActivatingBus bus;
    if (!bus.start(root, true))
        GTEST_SKIP() << "dbus-daemon is not available";
    ScopedEnv data("XDG_DATA_HOME", (root + "/data").toStdString());
    const std::string folder = FamilyDataDir("keyboard");
    auto list = [&] { return readjsonFile(folder + "/ProfileList.ini"); };
    auto names = [&] {
        std::vector<std::string> out;
        const Json::Value root = list();
        for (const Json::Value& p : root["profilelist"])
            out.push_back(p["profilename"].asString());
        return out;
    };
    auto selectedDocument = [&] {
        const Json::Value l = list();
        const std::string uuid = l["profilelist"][l["profileselect"].asInt()]["profileUUID"].asString();
        return readjsonFile(folder + "/" + uuid + ".Json")["Device"][0];
    };
    auto firmware = [&] { return vdev.state()[0]["firmware"]; };
    auto record = [&] { return bytes(firmware()["records"]); };

    // Nothing runs yet: the first call starts the program through the service file.
    {
        SCOPED_TRACE("devices, starting the program");
        const Ran r = bus.ctl({"--json", "devices"});
        ASSERT_GT(bus.programPid(), 0) << describe(r) << bus.log().toStdString();
        ASSERT_EQ(r.code, 0) << describe(r) << bus.log().toStdString();
        const QJsonObject out = r.json();
        EXPECT_TRUE(out["ok"].toBool());
        const QJsonArray devices = out["data"].toObject()["devices"].toArray();
        ASSERT_EQ(devices.size(), 1) << describe(r);
        EXPECT_EQ(devices[0].toObject()["family"].toString(), "keyboard");
        EXPECT_EQ(devices[0].toObject()["form"].toString(), "wired");
        EXPECT_EQ(devices[0].toObject()["state"].toString(), "ready");
        EXPECT_TRUE(devices[0].toObject()["firmware"].toString().startsWith("V"));
        EXPECT_TRUE(bus.log().contains("starting in the background"));
        const Ran human = bus.ctl({"devices"});
        EXPECT_TRUE(human.out.contains("keyboard\twired")) << describe(human);
    }
    {
        SCOPED_TRACE("profile new, rename, copy");
        Ran r = bus.ctl({"profile", "new"});
        ASSERT_EQ(r.code, 0) << describe(r);
        EXPECT_EQ(names(), (std::vector<std::string>{"profile1", "profile2"}));
        EXPECT_EQ(list()["profileselect"].asInt(), 1);
        r = bus.ctl({"profile", "rename", "Game"});
        ASSERT_EQ(r.code, 0) << describe(r);
        r = bus.ctl({"profile", "copy"});
        ASSERT_EQ(r.code, 0) << describe(r);
        EXPECT_EQ(names(), (std::vector<std::string>{"profile1", "Game", "Game copy"}));
        r = bus.ctl({"--json", "profiles"});
        EXPECT_EQ(r.json()["data"].toObject()["selectedName"].toString(), "Game") << describe(r);
        r = bus.ctl({"profiles"});
        EXPECT_TRUE(r.out.contains("* Game\n")) << describe(r);
    }
    {
        SCOPED_TRACE("lighting");
        const Ran r = bus.ctl({"--json", "lighting", "--mode", "static", "--brightness", "2", "--speed", "1",
                               "--direction", "0", "--colour", "FF8000"});
        ASSERT_EQ(r.code, 0) << describe(r);
        const std::vector<PresetLightMode> presets = ReadPresetLightModes(
            DeviceTypeKeyboard, (talyx::test::buildDataDir() + "/DefaultData/default_light.json").toStdString());
        const int mode = r.json()["data"].toObject()["mode"].toInt();
        ASSERT_LT(mode, static_cast<int>(presets.size()));
        EXPECT_EQ(presets[mode].name, "light_mode_static");
        std::vector<int> values;
        for (const PresetLightMode& p : presets)
            values.push_back(p.value);
        const std::vector<uint8_t> rec = record();
        ASSERT_GE(rec.size(), kLightRecordSize);
        EXPECT_EQ(rec[1], ModeWireValue(ModeValueOfPreset(mode, values)));
        EXPECT_EQ(rec[2], 2);
        EXPECT_EQ(rec[3], 4 - 1);
        EXPECT_EQ(rec[4], 0);
        EXPECT_EQ(rec[5], 0) << "a colour ends the colour cycle, as on the lighting page";
        EXPECT_EQ((std::vector<uint8_t>(rec.begin() + 6, rec.begin() + 9)), (std::vector<uint8_t>{0xFF, 0x80, 0x00}));
        const Json::Value light = selectedDocument()["LightInfo"];
        EXPECT_EQ(light["SelectItem"].asInt(), mode);
        EXPECT_EQ(light["Red"].asInt(), 255);
        EXPECT_EQ(light["Green"].asInt(), 128);
        EXPECT_EQ(light["Light"].asInt(), 2);
    }
    {
        SCOPED_TRACE("assign");
        const Ran r = bus.ctl({"assign", "A", "key:Ctrl+B"});
        ASSERT_EQ(r.code, 0) << describe(r);
        // The device key of A is where the keyboard reports A's factory code.
        const std::vector<uint8_t> factory = bytes(firmware()["factoryCodes"]);
        const std::vector<uint8_t> block = bytes(firmware()["assignments"]);
        int deviceKey = -1;
        for (size_t k = 0; k + 2 < factory.size() && deviceKey < 0; k += 3)
            if (factory[k] == 0x20 && factory[k + 1] == 0x00 && factory[k + 2] == 0x04)
                deviceKey = static_cast<int>(k / 3);
        ASSERT_GE(deviceKey, 0);
        ASSERT_GE(block.size(), static_cast<size_t>(3 * deviceKey + 3));
        EXPECT_EQ((std::vector<uint8_t>(block.begin() + 3 * deviceKey, block.begin() + 3 * deviceKey + 3)),
                  (std::vector<uint8_t>{0x20, 0x01, 0x05}));
        int slotA = -1;
        for (int s = 0; s < kKeySlots && slotA < 0; ++s)
            if (kKeySlotTable[s] == 0x200004)
                slotA = s;
        EXPECT_EQ(selectedDocument()["KeyList"][slotA]["Assignment"].asInt(), 0x200105);
        const Ran shown = bus.ctl({"assignments"});
        EXPECT_TRUE(shown.out.contains("A\tkey:LCtrl+B\t(changed)")) << describe(shown);
        // Back to the key's own function, on the keyboard too.
        ASSERT_EQ(bus.ctl({"assign", "a", "default"}).code, 0);
        const std::vector<uint8_t> after = bytes(firmware()["assignments"]);
        EXPECT_EQ((std::vector<uint8_t>(after.begin() + 3 * deviceKey, after.begin() + 3 * deviceKey + 3)),
                  (std::vector<uint8_t>{0x20, 0x00, 0x04}));
        EXPECT_EQ(selectedDocument()["KeyList"][slotA]["Assignment"].asInt(), 0x200004);
    }
    {
        SCOPED_TRACE("settings");
        const Ran r = bus.ctl({"--json", "settings", "--win-lock", "on", "--report-rate", "250"});
        ASSERT_EQ(r.code, 0) << describe(r);
        EXPECT_EQ(r.json()["data"].toObject()["reportRate"].toInt(), 250);
        const std::vector<uint8_t> rec = record();
        EXPECT_EQ(rec[21], 1);
        EXPECT_EQ(rec[22], 1);
        EXPECT_EQ(selectedDocument()["SystemStages"]["WinFlag"].asInt(), 1);
        EXPECT_EQ(selectedDocument()["SystemStages"]["PollingRate"].asInt(), 1);
    }
    {
        SCOPED_TRACE("select and apply");
        ASSERT_EQ(bus.ctl({"profile", "select", "profile1"}).code, 0);
        EXPECT_EQ(list()["profileselect"].asInt(), 0);
        EXPECT_NE(record()[21], 1) << "profile1 has the Windows key unlocked";
        ASSERT_EQ(bus.ctl({"profile", "select", "game"}).code, 0);
        EXPECT_EQ(record()[21], 1);
        EXPECT_EQ(record()[6], 0xFF);
        // The keyboard changed behind the program's back; apply writes the profile again.
        ASSERT_TRUE(vdev.request(R"({"cmd":"set","area":"records","offset":6,"hex":"00"})")["ok"].asBool());
        ASSERT_EQ(record()[6], 0);
        const Ran r = bus.ctl({"apply"});
        ASSERT_EQ(r.code, 0) << describe(r);
        EXPECT_EQ(record()[6], 0xFF);
    }
    {
        SCOPED_TRACE("export, import, delete");
        Ran r = bus.ctl({"profile", "export", "game.json"});
        ASSERT_EQ(r.code, 0) << describe(r);
        const Json::Value exported = readjsonFile((root + "/game.json").toStdString());
        EXPECT_EQ(exported["profilename"].asString(), "Game");
        // The import takes the file's name, made unique.
        r = bus.ctl({"profile", "import", root + "/game.json"});
        ASSERT_EQ(r.code, 0) << describe(r);
        EXPECT_EQ(names(), (std::vector<std::string>{"profile1", "Game", "Game copy", "game(1)"}));
        const std::string gone = list()["profilelist"][1]["profileUUID"].asString();
        r = bus.ctl({"profile", "delete"});
        ASSERT_EQ(r.code, 0) << describe(r);
        EXPECT_EQ(names(), (std::vector<std::string>{"profile1", "Game copy", "game(1)"}));
        EXPECT_FALSE(QFile::exists(QString::fromStdString(folder + "/" + gone + ".Json")));
        EXPECT_EQ(list()["profileselect"].asInt(), 0);
    }
    {
        SCOPED_TRACE("failures");
        struct Case {
            QStringList args;
            int code;
            QString message;
        } cases[] = {
            {{"assign", "Foo", "key:A"}, 1, "no key 'Foo'"},
            {{"assign", "A", "frobnicate"}, 1, "unknown action 'frobnicate'"},
            {{"assign", "A", "key:A+B"}, 1, "more than one key"},
            {{"assign", "A", "macro:none such"}, 1, "no macro named"},
            {{"--device", "mouse", "profiles"}, 1, "no mouse is connected"},
            {{"profile", "select", "Nope"}, 1, "no profile named 'Nope'"},
            {{"profile", "rename", "Game copy"}, 1, "exists already"},
            {{"profile", "import", "/nonexistent.json"}, 1, "no file"},
            {{"lighting", "--brightness", "9"}, 1, "brightness must be 0 to 4"},
            {{"lighting", "--mode", "disco"}, 1, "unknown lighting mode"},
            {{"settings", "--report-rate", "300"}, 1, "bad value '300'"},
            {{"bogus"}, 2, "unknown command 'bogus'"},
            {{"assign", "A"}, 2, "needs a key and an action"},
            {{"--device", "toaster", "devices"}, 2, "unknown device 'toaster'"},
            {{"lighting", "--brightness", "x"}, 2, "takes a number"},
        };
        const std::vector<std::string> before = names();
        const Json::Value assignments = firmware()["assignments"];
        for (const Case& c : cases) {
            const Ran r = bus.ctl(c.args);
            EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString() << "\n" << describe(r);
            EXPECT_TRUE(r.err.contains(c.message)) << c.args.join(' ').toStdString() << "\n" << describe(r);
        }
        const Ran json = bus.ctl({"--json", "assign", "Foo", "key:A"});
        EXPECT_EQ(json.code, 1);
        EXPECT_FALSE(json.json()["ok"].toBool());
        EXPECT_EQ(json.json()["result"].toInt(), 3);
        EXPECT_EQ(names(), before) << "a failed command changes nothing";
        EXPECT_EQ(firmware()["assignments"], assignments);
    }
}

// With a keyboard and a mouse the caller names the device; the mouse takes its lighting
// and its profile operations into its own files, and has no keys or settings here.
TEST(Ctl, WithTwoDevicesTheCallNamesOne) {
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    vdev::VdevProcess vdev;
    ASSERT_TRUE(vdev.start((dir.path() + "/hid").toStdString(), {"keyboard", "mouse"})) << vdev.lastError();
    ActivatingBus bus;
    if (!bus.start(dir.path(), true))
        GTEST_SKIP() << "dbus-daemon is not available";
    Ran r = bus.ctl({"--json", "devices"});
    ASSERT_GT(bus.programPid(), 0) << describe(r);
    EXPECT_EQ(r.json()["data"].toObject()["devices"].toArray().size(), 2) << describe(r);
    r = bus.ctl({"--device", "mouse", "devices"});
    EXPECT_TRUE(r.out.startsWith("mouse\t") && !r.out.contains("keyboard")) << describe(r);
    r = bus.ctl({"--device", "headset", "devices"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("no headset is connected")) << describe(r);
    r = bus.ctl({"lighting", "--colour", "00FF00"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("more than one device is connected")) << describe(r);
    r = bus.ctl({"--device", "mouse", "lighting", "--mode", "2", "--colour", "00FF00"});
    ASSERT_EQ(r.code, 0) << describe(r);
    ScopedEnv data("XDG_DATA_HOME", (dir.path() + "/data").toStdString());
    const std::string folder = FamilyDataDir("mouse");
    const Json::Value list = readjsonFile(folder + "/ProfileList.ini");
    const Json::Value light = readjsonFile(folder + "/" + list["profilelist"][0]["profileUUID"].asString() +
                                           ".Json")["Device"][0]["LightInfo"];
    EXPECT_EQ(light["SelectItem"].asInt(), 2);
    EXPECT_EQ(light["Green"].asInt(), 255);
    EXPECT_EQ(light["Red"].asInt(), 0);
    r = bus.ctl({"--device", "mouse", "assign", "A", "key:B"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("the mouse has no key assignments")) << describe(r);
    // The mouse's own profile bar.
    r = bus.ctl({"--device", "mouse", "profile", "new"});
    ASSERT_EQ(r.code, 0) << describe(r);
    EXPECT_EQ(readjsonFile(folder + "/ProfileList.ini")["profilelist"].size(), 2u);
    EXPECT_EQ(readjsonFile(folder + "/ProfileList.ini")["profileselect"].asInt(), 1);
    r = bus.ctl({"--json", "--device", "keyboard", "profiles"});
    EXPECT_EQ(r.json()["data"].toObject()["profiles"].toArray().size(), 1) << describe(r);
}

TEST(Ctl, SaysSoWhenTheProgramCannotBeStarted) {
    QTemporaryDir dir;
    ActivatingBus bus;
    if (!bus.start(dir.path(), false))
        GTEST_SKIP() << "dbus-daemon is not available";
    const Ran r = bus.ctl({"devices"});
    EXPECT_EQ(r.code, 1) << describe(r);
    EXPECT_TRUE(r.err.contains("the program is not running and could not be started")) << describe(r);
}
