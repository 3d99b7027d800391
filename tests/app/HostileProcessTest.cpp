// The program started the way a hostile user, peer or environment would leave things:
// damaged per-user files, floods and snooping on the session bus, missing or shared
// folders. Each start must show the window, block on nothing, keep what it cannot read
// and leak nothing.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/JsonFile.h"
#include "platform/Paths.h"
#include "tests/app/ProgramProcess.h"
#include "vdev/VdevProcess.h"

using talyx::test::PrivateBus;
using talyx::test::Program;
using talyx::test::waitUntil;

namespace {

constexpr const char* kProduct = "TALYX RGB Gaming keyboard";
constexpr const char* kLockName = "TALYX RGB Gaming keyboard.lock";
constexpr uid_t kNobody = 65534;
// The instance message that the scan sends after its first pass: the window is up, every
// device found has its page, and the program ends on SIGTERM the ordinary way.
const QString kFirstPassDone = QString::fromUtf8("，0d0d");

std::string str(const QString& s) {
    return s.toStdString();
}

bool exists(const QString& path) {
    struct stat st {};
    return ::lstat(path.toLocal8Bit().constData(), &st) == 0;
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    return ::lstat(path.toLocal8Bit().constData(), &st) == 0 ? st.st_mode : 0;
}

void writeText(const QString& path, const QByteArray& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << str(path);
    f.write(text);
}

void makeFifo(const QString& path) {
    ASSERT_EQ(::mkfifo(path.toLocal8Bit().constData(), 0600), 0) << str(path);
}

// A 200 MB file that costs nothing to make: sparse.
void makeHuge(const QString& path) {
    const int fd = ::open(path.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0) << str(path);
    ASSERT_EQ(::ftruncate(fd, 200LL << 20), 0);
    ::close(fd);
}

// A process id that no process has: a child that ended and was reaped.
pid_t deadPid() {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

// A private root for one test: the runtime folder, with data/, config/ and the virtual
// bus under it, and talyx-vdev serving a keyboard there when asked.
class HostileStart : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QFile::exists(talyx::test::talyxBinary()))
            GTEST_SKIP() << "talyx not built";
        if (!QFile::exists(QString::fromStdString(talyx::vdev::VdevProcess::ExecutablePath())))
            GTEST_SKIP() << "talyx-vdev not built";
        QFile::setPermissions(root(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    void TearDown() override { vdev.stop(); }

    QString root() const { return m_root.path(); }
    QString product() const { return root() + "/data/" + kProduct; }
    QString family() const { return product() + "/keyboard"; }
    QString store() const { return root() + "/config/talyx/registry.json"; }
    QString busFolder() const { return root() + "/bus"; }

    bool plugKeyboard() { return vdev.start(str(busFolder()), {"keyboard"}); }
    void makeFolders() {
        ASSERT_TRUE(QDir().mkpath(family()));
        ASSERT_TRUE(QDir().mkpath(root() + "/config/talyx"));
    }
    std::unique_ptr<Program> program(const QString& busAddress = QString()) {
        auto p = std::make_unique<Program>(root(), busAddress);
        p->setEnv("TALYX_HID_BUS", busFolder());
        return p;
    }
    Json::Value listFile() const { return talyx::readjsonFile(str(family() + "/ProfileList.ini")); }
    // The keyboard page has read its profile list and loaded the selected profile.
    bool waitForProfile(int ms = 20000) {
        return waitUntil(
            [&] {
                const Json::Value list = listFile();
                const Json::Value& entry = list["profilelist"][list["profileselect"].asUInt()];
                if (!entry.isObject())
                    return false;
                const std::string uuid = entry["profileUUID"].asString();
                const Json::Value doc = talyx::readjsonFile(str(family()) + "/" + uuid + ".Json");
                return doc["Device"][0].isObject();
            },
            ms);
    }
    std::vector<std::string> listedNames() const {
        std::vector<std::string> names;
        const Json::Value list = listFile();
        for (const Json::Value& e : list["profilelist"])
            names.push_back(e["profilename"].asString());
        return names;
    }

    QTemporaryDir m_root;
    talyx::vdev::VdevProcess vdev;
};

} // namespace

// ---- Files ---------------------------------------------------------------------------

TEST_F(HostileStart, DeeplyNestedFilesEverywhereStillShowTheWindowAndAreKeptAside) {
    makeFolders();
    writeText(family() + "/ProfileList.ini", QByteArray(100000, '['));
    writeText(family() + "/macro.config", "{\"MacroInfo\": " + QByteArray(50000, '['));
    writeText(store(), QByteArray(100000, '{'));
    ASSERT_TRUE(plugKeyboard()) << vdev.lastError();
    auto p = program();
    p->start();
    ASSERT_TRUE(waitForProfile()) << str(p->errors());
    EXPECT_TRUE(p->errors().contains("InitWindow"));
    EXPECT_EQ(listedNames(), std::vector<std::string>{"profile1"});
    for (const QString& file : {family() + "/ProfileList.ini", family() + "/macro.config", store()}) {
        // Kept aside, and rebuilt; the page reads its macro library after the profile.
        EXPECT_TRUE(
            waitUntil([&] { return exists(file + ".corrupt") && talyx::readjsonFile(str(file)).isObject(); }, 10000))
            << str(file);
    }
    EXPECT_TRUE(p->stop()) << str(p->errors());

    // The next start finds good files and keeps nothing more aside.
    auto again = program();
    again->start();
    ASSERT_TRUE(again->waitForText(kFirstPassDone)) << str(again->errors());
    EXPECT_TRUE(again->stop());
    EXPECT_FALSE(again->errors().contains("unreadable file")) << str(again->errors());
}

TEST_F(HostileStart, FifosInPlaceOfTheListADocumentOrTheStoreNeitherBlockNorAreRead) {
    makeFolders();
    makeFifo(family() + "/ProfileList.ini");
    makeFifo(store());
    writeText(family() + "/2024_01_01_00_00_00_001.Json",
              R"({"profilename": "Game", "profileUUID": "2024_01_01_00_00_00_001"})");
    makeFifo(family() + "/2024_01_01_00_00_00_002.Json");
    ASSERT_TRUE(plugKeyboard()) << vdev.lastError();
    auto p = program();
    p->start();
    ASSERT_TRUE(waitForProfile()) << str(p->errors());
    EXPECT_TRUE(p->errors().contains("InitWindow"));
    // The list came back from the document in the folder; the FIFO beside it was passed by.
    EXPECT_EQ(listedNames(), std::vector<std::string>{"Game"});
    EXPECT_TRUE(S_ISFIFO(modeOf(family() + "/ProfileList.ini.corrupt")));
    EXPECT_TRUE(S_ISFIFO(modeOf(store() + ".corrupt")));
    EXPECT_TRUE(p->stop());

    // A listed document that is a FIFO: kept aside and rebuilt when the page loads it.
    Json::Value list = listFile();
    list["profilelist"][0]["profileUUID"] = "2024_01_01_00_00_00_002";
    ASSERT_TRUE(talyx::writejsonFile(str(family() + "/ProfileList.ini"), list));
    auto again = program();
    again->start();
    ASSERT_TRUE(waitForProfile()) << str(again->errors());
    EXPECT_TRUE(S_ISFIFO(modeOf(family() + "/2024_01_01_00_00_00_002.Json.corrupt")));
    EXPECT_TRUE(S_ISREG(modeOf(family() + "/2024_01_01_00_00_00_002.Json")));
    EXPECT_TRUE(again->stop());
}

TEST_F(HostileStart, HugeFilesAreRefusedUnreadAndKeptAside) {
    makeFolders();
    for (const QString& file : {family() + "/ProfileList.ini", family() + "/macro.config", store()})
        makeHuge(file);
    ASSERT_TRUE(plugKeyboard()) << vdev.lastError();
    auto p = program();
    p->start();
    ASSERT_TRUE(waitForProfile()) << str(p->errors());
    EXPECT_TRUE(p->errors().contains("InitWindow"));
    for (const QString& file : {family() + "/ProfileList.ini", family() + "/macro.config", store()})
        EXPECT_TRUE(waitUntil([&] { return QFileInfo(file + ".corrupt").size() == 200LL << 20; }, 10000)) << str(file);
    // Reading any of them whole would have taken 200 MB at the least.
    const long peak = p->memoryKiB("VmHWM:");
    EXPECT_GT(peak, 0);
    EXPECT_LT(peak, 150 * 1024) << "peak resident KiB";
    EXPECT_EQ(listedNames(), std::vector<std::string>{"profile1"});
    EXPECT_TRUE(p->stop());
}

// ---- Peers ---------------------------------------------------------------------------

namespace {

// The "WorkTool" peer: records the CopyData calls it gets.
class WorkToolPeer : public QDBusVirtualObject {
public:
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() == QLatin1String("CopyData"))
            calls.push_back(message.arguments());
        connection.send(message.createReply());
        return true;
    }
    QString introspect(const QString&) const override { return QString(); }
    std::vector<QList<QVariant>> calls;
};

QDBusMessage programCall(const QString& member) {
    return QDBusMessage::createMethodCall("org.talyx.RgbGamingKeyboard", "/org/talyx/RgbGamingKeyboard",
                                          "org.talyx.RgbGamingKeyboard", member);
}

} // namespace

TEST_F(HostileStart, PostMessageWithUnknownNamesLeavesMemoryAsItWas) {
    PrivateBus bus;
    if (!bus.start())
        GTEST_SKIP() << "dbus-daemon is not available";
    auto p = program(bus.address());
    p->start();
    ASSERT_TRUE(p->waitForText(kFirstPassDone)) << str(p->errors());
    QDBusConnection peer = QDBusConnection::connectToBus(bus.address(), "hostile-peer");
    ASSERT_TRUE(peer.isConnected());
    auto post = [&](const QString& name) {
        QDBusMessage call = programCall("PostMessage");
        call << name << qulonglong(1) << qlonglong(1);
        const QDBusMessage reply = peer.call(call, QDBus::Block, 5000);
        return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
    };
    // Warm up, then 600 names of 64 KiB each: registered, they would hold 75 MB at the least.
    for (int i = 0; i < 20; ++i)
        post(QString("warm-%1").arg(i));
    const long before = p->memoryKiB();
    int accepted = 0;
    for (int i = 0; i < 600; ++i)
        accepted += post(QString("{flood-%1-").arg(i) + QString(65536, QChar('x')) + "}");
    const long after = p->memoryKiB();
    EXPECT_EQ(accepted, 0);
    EXPECT_GT(before, 0);
    EXPECT_LT(after - before, 24 * 1024) << "resident KiB before " << before << ", after " << after;
    // The messages other programs may send still come in by name, in any case.
    EXPECT_TRUE(post("{4695579f-999a-41d4-9faf-effce93ebf17}"));
    EXPECT_FALSE(post("{4695579F-999A-41d4-9FAF-EFFCE93EBF16}")) << "the program's own broadcast";
    EXPECT_EQ(p->process().state(), QProcess::Running);
    EXPECT_TRUE(p->stop());
}

TEST_F(HostileStart, TheWorkToolSummaryCarriesNoAddressOfTheProgram) {
    PrivateBus bus;
    if (!bus.start())
        GTEST_SKIP() << "dbus-daemon is not available";
    QDBusConnection peer = QDBusConnection::connectToBus(bus.address(), "worktool");
    ASSERT_TRUE(peer.isConnected());
    WorkToolPeer tool;
    ASSERT_TRUE(peer.registerVirtualObject("/org/talyx/WorkTool", &tool));
    ASSERT_TRUE(peer.registerService("org.talyx.WorkTool"));
    auto p = program(bus.address());
    p->start();
    ASSERT_TRUE(p->waitForText(kFirstPassDone)) << str(p->errors());
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(peer.send(programCall("WorkToolQuery")));
    ASSERT_TRUE(waitUntil([&] { return tool.calls.size() == 2; }, 5000));
    for (const QList<QVariant>& args : tool.calls) {
        ASSERT_EQ(args.size(), 3);
        EXPECT_EQ(args[0].toUInt(), 5u);
        EXPECT_EQ(args[1].toULongLong(), 0u) << "wParam";
        const QByteArray block = args[2].toByteArray();
        ASSERT_EQ(block.size(), 1024);
        EXPECT_EQ(block.left(20), QByteArray::fromHex("0200000003000000000000000200000004000000"));
    }
    EXPECT_TRUE(p->stop());
    peer.unregisterObject("/org/talyx/WorkTool");
}

// ---- Environment ---------------------------------------------------------------------

TEST_F(HostileStart, TheLockFileIsUsedOnlyWithoutABusAndOnlyInAFolderOfTheUsersOwn) {
    auto startAndEnd = [&](Program& p) {
        p.start({"TALYX_EXIT_WHEN_SHOWN=1"});
        EXPECT_TRUE(p.process().waitForFinished(20000));
        EXPECT_EQ(p.process().exitCode(), 0);
        EXPECT_TRUE(p.errors().contains("InitWindow")) << str(p.errors());
    };

    // With a session bus the bus name keeps one copy; no lock file is made.
    PrivateBus bus;
    if (bus.start()) {
        auto p = program(bus.address());
        startAndEnd(*p);
        EXPECT_FALSE(exists(root() + "/" + kLockName));
        EXPECT_FALSE(exists(product() + "/" + kLockName));
    }

    // No bus and no runtime folder: the shared temporary folder is never used, so someone
    // else holding the old name there cannot keep the program from starting. The lock
    // goes to the user's data folder and still keeps a second copy out.
    const QString shared = root() + "/tmp";
    ASSERT_TRUE(QDir().mkpath(shared));
    ASSERT_EQ(::chmod(shared.toLocal8Bit().constData(), 01777), 0);
    const QString squatted = shared + "/" + kLockName;
    writeText(squatted, "");
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(squatted.toLocal8Bit().constData(), kNobody, kNobody), 0);
    }
    const int squatter = ::open(squatted.toLocal8Bit().constData(), O_RDONLY);
    ASSERT_GE(squatter, 0);
    ASSERT_EQ(::flock(squatter, LOCK_EX | LOCK_NB), 0);
    {
        auto first = program();
        first->setEnv("XDG_RUNTIME_DIR", QString());
        first->setEnv("TMPDIR", shared);
        first->start();
        ASSERT_TRUE(first->waitForText("InitWindow")) << str(first->errors());
        EXPECT_TRUE(S_ISREG(modeOf(product() + "/" + kLockName)));
        auto second = program();
        second->setEnv("XDG_RUNTIME_DIR", QString());
        second->setEnv("TMPDIR", shared);
        second->start();
        ASSERT_TRUE(second->process().waitForFinished(10000));
        EXPECT_EQ(second->process().exitCode(), 0);
        EXPECT_FALSE(second->errors().contains("InitWindow"));
        EXPECT_TRUE(first->stop());
    }
    ::close(squatter);

    // A runtime folder that others may enter, or that is someone else's, is passed over.
    std::vector<QString> unsafe = {shared};
    if (::geteuid() == 0) {
        const QString others = root() + "/others";
        ASSERT_TRUE(QDir().mkpath(others));
        ASSERT_EQ(::chmod(others.toLocal8Bit().constData(), 0700), 0);
        ASSERT_EQ(::chown(others.toLocal8Bit().constData(), kNobody, kNobody), 0);
        unsafe.push_back(others);
    }
    for (const QString& folder : unsafe) {
        ::unlink(squatted.toLocal8Bit().constData());
        auto p = program();
        p->setEnv("XDG_RUNTIME_DIR", folder);
        startAndEnd(*p);
        EXPECT_FALSE(exists(folder + "/" + kLockName)) << str(folder);
    }

    // A link at the lock's name is not followed: what it points to is never made.
    const QString target = root() + "/victim";
    ASSERT_EQ(::symlink(target.toLocal8Bit().constData(), (root() + "/" + kLockName).toLocal8Bit().constData()), 0);
    auto p = program();
    startAndEnd(*p);
    EXPECT_FALSE(exists(target));
}

TEST_F(HostileStart, WithoutHomeOrXdgFoldersNothingGoesToASharedFolder) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to start the program as another user";
    // The program runs as "nobody", whose home does not exist; every folder variable is
    // unset. It must come up and write nothing where other users could read it.
    ASSERT_EQ(::chmod(root().toLocal8Bit().constData(), 0755), 0);
    const QString tmp = root() + "/tmp";
    const QString cwd = root() + "/cwd";
    ASSERT_TRUE(QDir().mkpath(tmp) && QDir().mkpath(cwd));
    ASSERT_EQ(::chmod(tmp.toLocal8Bit().constData(), 01777), 0);
    ASSERT_EQ(::chmod(cwd.toLocal8Bit().constData(), 0777), 0);
    ASSERT_TRUE(plugKeyboard()) << vdev.lastError();
    ::chmod(busFolder().toLocal8Bit().constData(), 0777);
    for (const std::string& socket : vdev.socketPaths())
        ::chmod(socket.c_str(), 0777);
    const bool sharedBefore = exists(QString("/tmp/.local/share/") + kProduct);

    auto p = program();
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"})
        p->setEnv(name, QString());
    p->setEnv("TMPDIR", tmp);
    p->runAs(kNobody, kNobody);
    p->process().setWorkingDirectory(cwd);
    p->start({"TALYX_SCREENSHOT_DELAY_MS=2500", "TALYX_SCREENSHOT=" + tmp + "/shot.png"});
    ASSERT_TRUE(p->process().waitForFinished(30000));
    EXPECT_EQ(p->process().exitCode(), 0) << str(p->errors());
    EXPECT_TRUE(p->errors().contains("InitWindow")) << str(p->errors());
    EXPECT_TRUE(p->errors().contains(QString::fromUtf8("添加一个键盘设备"))) << "the keyboard page was built";
    if (!sharedBefore) {
        EXPECT_FALSE(exists(QString("/tmp/.local/share/") + kProduct));
    }
    EXPECT_FALSE(exists(tmp + "/.local")) << "nothing of the program's in the temporary folder";
    EXPECT_FALSE(exists(tmp + "/" + kLockName));
    EXPECT_TRUE(QDir(cwd).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty())
        << "nothing in the working folder";
}

TEST_F(HostileStart, PerUserFilesArePrivateAndStaleTemporaryFilesGoAtTheNextStart) {
    ASSERT_TRUE(plugKeyboard()) << vdev.lastError();
    auto p = program();
    p->start();
    ASSERT_TRUE(waitForProfile()) << str(p->errors());
    EXPECT_TRUE(p->stop());
    int files = 0;
    for (const QString& top : {root() + "/data", root() + "/config"}) {
        EXPECT_EQ(modeOf(top) & 0777, 0700u) << str(top);
        QDirIterator it(top, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const mode_t mode = modeOf(path);
            EXPECT_EQ(mode & 0777, S_ISDIR(mode) ? 0700u : 0600u) << str(path);
            files += S_ISREG(mode);
        }
    }
    EXPECT_GE(files, 3) << "the list, the profile and the settings store";

    // A copy killed in the middle of its writes left these; only the dead writer's go.
    const std::string dead = std::to_string(deadPid());
    const std::string live = std::to_string(::getpid());
    const QStringList stale = {family() + "/ProfileList.ini.tmp-" + QString::fromStdString(dead) + "-0",
                               product() + "/main.ini.tmp-" + QString::fromStdString(dead) + "-3",
                               store() + ".tmp-" + QString::fromStdString(dead) + "-7"};
    const QString running = family() + "/ProfileList.ini.tmp-" + QString::fromStdString(live) + "-1";
    for (const QString& file : stale)
        writeText(file, "{ \"half");
    writeText(running, "{ \"half");
    auto next = program();
    next->start();
    ASSERT_TRUE(next->waitForText(kFirstPassDone)) << str(next->errors());
    for (const QString& file : stale)
        EXPECT_FALSE(exists(file)) << str(file);
    EXPECT_TRUE(exists(running)) << "its writer still runs";
    EXPECT_TRUE(next->stop());
}
