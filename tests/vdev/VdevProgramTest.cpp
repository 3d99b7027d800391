// talyx-vdev as a process, seen through raw bus sockets and its control socket.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/Paths.h"
#include "support/TestSupport.h"
#include "vdev/VdevFraming.h"
#include "vdev/VdevProcess.h"

namespace talyx::vdev {
namespace {

using Packet = std::vector<uint8_t>;

// A bus client that speaks the socket protocol directly.
class RawClient {
public:
    explicit RawClient(const std::string& path) {
        m_fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        if (connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
    ~RawClient() {
        if (m_fd >= 0)
            close(m_fd);
    }
    bool ok() const { return m_fd >= 0; }
    // One message, or empty on time-out or close.
    Packet receive(int timeoutMs = 2000) {
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0)
            return {};
        uint8_t buffer[4096];
        const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
        return n > 0 ? Packet(buffer, buffer + n) : Packet();
    }
    bool send(const Packet& p) {
        return ::send(m_fd, p.data(), p.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(p.size());
    }

private:
    int m_fd = -1;
};

Packet request(uint8_t command, uint8_t length = 0, uint16_t offset = 0) {
    Packet p(64, 0);
    p[0] = 0x04;
    p[3] = command;
    p[4] = length;
    p[5] = static_cast<uint8_t>(offset & 0xFF);
    p[6] = static_cast<uint8_t>(offset >> 8);
    const uint16_t sum = PacketChecksum(p.data());
    p[1] = static_cast<uint8_t>(sum & 0xFF);
    p[2] = static_cast<uint8_t>(sum >> 8);
    return p;
}

class VdevProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!FileExists(VdevProcess::ExecutablePath()))
            GTEST_SKIP() << "talyx-vdev not built at " << VdevProcess::ExecutablePath();
        bus = scratch.file("bus");
    }
    test::ScratchDir scratch;
    std::string bus;
    VdevProcess vdev;
};

TEST_F(VdevProgramTest, ServesCollectionsAndAnswersOnEveryConnection) {
    ASSERT_TRUE(vdev.start(bus, {"keyboard", "mousepad"})) << vdev.lastError();
    const auto paths = vdev.socketPaths(0);
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_EQ(paths[0], bus + "/kbd0#vid_320f&pid_5078&mi_01&col04");
    EXPECT_TRUE(FileExists(paths[0]) || access(paths[0].c_str(), F_OK) == 0);

    // The presence probe: connect and close at once; the device shrugs it off.
    { RawClient probe(paths[0]); }

    RawClient a(paths[0]);
    RawClient b(paths[0]);
    ASSERT_TRUE(a.ok() && b.ok());
    const Packet hello = a.receive();
    ASSERT_GE(hello.size(), 14u);
    EXPECT_EQ(std::string(hello.begin(), hello.begin() + 4), "VHID");
    b.receive();

    ASSERT_TRUE(a.send(request(0x03, 34)));
    for (RawClient* c : {&a, &b}) {
        const Packet reply = c->receive();
        ASSERT_EQ(reply.size(), 64u);
        EXPECT_EQ(reply[3], 0x03) << ToHex(reply);
        EXPECT_EQ(reply[8 + 5], 104) << ToHex(reply);
    }

    // The mouse pad answers without a protocol of its own.
    RawClient pad(vdev.socketPaths(1)[0]);
    pad.receive();
    ASSERT_TRUE(pad.send(request(0x21, 3)));
    const Packet padReply = pad.receive();
    ASSERT_EQ(padReply.size(), 64u);
    EXPECT_EQ(padReply[3], 0x21);
    EXPECT_EQ(padReply[7], 0);

    const Json::Value state = vdev.state();
    ASSERT_TRUE(state.isArray()) << vdev.lastError();
    EXPECT_EQ(state[0]["connections"][0].asInt(), 2);
    EXPECT_EQ(state[0]["firmware"]["requests"].asInt(), 1);
    EXPECT_EQ(state[0]["firmware"]["framingErrorCount"].asInt(), 0);
    EXPECT_EQ(state[0]["firmware"]["info"].asString().substr(10, 4), "6820");
}

TEST_F(VdevProgramTest, NotificationsFaultsAndPlugging) {
    ASSERT_TRUE(vdev.start(bus, {"keyboard-receiver"}, {"--keys", "87"})) << vdev.lastError();
    const auto paths = vdev.socketPaths(0);
    ASSERT_EQ(paths.size(), 2u);
    RawClient vendor(paths[0]);
    RawClient consumer(paths[1]);
    vendor.receive();
    const Packet hello = consumer.receive();
    ASSERT_GE(hello.size(), 14u);
    EXPECT_EQ(hello[8] | hello[9] << 8, 0x50EC);

    Json::Value reply = vdev.request(R"({"cmd":"notify","usage":1281})");
    ASSERT_TRUE(reply["ok"].asBool()) << reply.toStyledString();
    EXPECT_EQ(consumer.receive(), (Packet{0x03, 0x01, 0x05}));

    // Offline: the receiver answers for the keyboard.
    ASSERT_TRUE(vdev.request(R"({"cmd":"online","online":false})")["ok"].asBool());
    ASSERT_TRUE(vendor.send(request(0x01)));
    EXPECT_EQ(vendor.receive().at(3), 0xAA);
    ASSERT_TRUE(vdev.request(R"({"cmd":"online","online":true})")["ok"].asBool());

    ASSERT_TRUE(vdev.request(R"({"cmd":"fault","kind":"status","status":254})")["ok"].asBool());
    ASSERT_TRUE(vendor.send(request(0x01)));
    EXPECT_EQ(vendor.receive().at(7), 0xFE);
    ASSERT_TRUE(vdev.request(R"({"cmd":"fault","kind":"no-reply"})")["ok"].asBool());
    ASSERT_TRUE(vendor.send(request(0x01)));
    EXPECT_TRUE(vendor.receive(100).empty());
    EXPECT_FALSE(vdev.request(R"({"cmd":"fault","kind":"status","status":1})")["ok"].asBool());
    EXPECT_FALSE(vdev.request(R"({"cmd":"bogus"})")["ok"].asBool());
    EXPECT_FALSE(vdev.request(R"({"cmd":"unplug","device":4})")["ok"].asBool());

    ASSERT_TRUE(vdev.request(R"({"cmd":"set","area":"status","offset":2,"hex":"2a"})")["ok"].asBool());
    ASSERT_TRUE(vendor.send(request(0x1A, 6)));
    EXPECT_EQ(vendor.receive().at(10), 0x2A);

    // Unplug in the middle of a transfer: one more request is answered, then it is gone.
    ASSERT_TRUE(vdev.request(R"({"cmd":"fault","kind":"unplug-after","packets":1})")["ok"].asBool());
    ASSERT_TRUE(vendor.send(request(0x01)));
    EXPECT_EQ(vendor.receive().size(), 64u);
    EXPECT_TRUE(vendor.receive(1000).empty()); // closed
    EXPECT_NE(access(paths[0].c_str(), F_OK), 0);
    EXPECT_NE(access(paths[1].c_str(), F_OK), 0);
    EXPECT_FALSE(vdev.state()[0]["plugged"].asBool());

    ASSERT_TRUE(vdev.request(R"({"cmd":"plug"})")["ok"].asBool());
    RawClient again(paths[0]);
    ASSERT_TRUE(again.ok());
    EXPECT_GE(again.receive().size(), 14u);

    EXPECT_TRUE(vdev.stop());
    EXPECT_NE(access(paths[0].c_str(), F_OK), 0);
    EXPECT_NE(access(vdev.controlPath().c_str(), F_OK), 0);
}

TEST_F(VdevProgramTest, CommandLine) {
    const std::string exe = VdevProcess::ExecutablePath();
    const std::string out = scratch.file("help.txt");
    EXPECT_EQ(std::system(("'" + exe + "' --help > '" + out + "'").c_str()), 0);
    std::string text;
    ASSERT_TRUE(std::getenv("PATH"));
    FILE* f = std::fopen(out.c_str(), "r");
    ASSERT_TRUE(f);
    char buffer[4096];
    text.assign(buffer, std::fread(buffer, 1, sizeof buffer, f));
    std::fclose(f);
    for (const char* word : {"--bus", "--control", "--keys", "--macro-units", "keyboard-receiver", "headset"})
        EXPECT_NE(text.find(word), std::string::npos) << word;
    EXPECT_EQ(WEXITSTATUS(std::system(("'" + exe + "' --bus /tmp toaster 2>/dev/null").c_str())), 2);
    EXPECT_EQ(WEXITSTATUS(std::system(("'" + exe + "' keyboard 2>/dev/null").c_str())), 2);
}

} // namespace
} // namespace talyx::vdev

namespace talyx::vdev {
namespace {

// The bus timing: each request waits for its OUT poll and its reply for the IN poll half
// a period later, so requests one after another go at one a millisecond; a burst queues in
// order; "fast" answers at once. Only lower bounds on the timed bus are checked.
TEST_F(VdevProgramTest, RequestsWaitForTheEndpointPollsUnlessTimingIsFast) {
    ASSERT_TRUE(vdev.start(bus, {"keyboard"})) << vdev.lastError();
    EXPECT_EQ(vdev.request(R"({"cmd":"state"})")["pollUs"].asInt(), 1000);
    RawClient client(vdev.socketPaths(0)[0]);
    ASSERT_TRUE(client.ok());
    client.receive(); // hello
    auto roundTrips = [&](int n) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < n; ++i) {
            EXPECT_TRUE(client.send(request(0x1A, 6)));
            EXPECT_EQ(client.receive().size(), 64u);
        }
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    };
    const double timed = roundTrips(40);
    std::printf("[ figure ] 40 round trips: %.1f ms at 1 ms polls\n", timed);
    EXPECT_GE(timed, 38.0) << "no faster than one request a poll";

    // A burst of five: five replies in order, one a poll apart.
    for (uint8_t c : {0x1A, 0x03, 0x1A, 0x03, 0x1A})
        ASSERT_TRUE(client.send(request(c, c == 0x03 ? 34 : 6)));
    const auto start = std::chrono::steady_clock::now();
    std::vector<uint8_t> order;
    for (int i = 0; i < 5; ++i)
        order.push_back(client.receive()[3]);
    const double burst = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(order, (std::vector<uint8_t>{0x1A, 0x03, 0x1A, 0x03, 0x1A}));
    EXPECT_GE(burst, 3.0);

    ASSERT_TRUE(vdev.request(R"({"cmd":"timing","timing":"fast"})")["ok"].asBool());
    const double fast = roundTrips(40);
    std::printf("[ figure ] 40 round trips: %.1f ms without timing\n", fast);
    EXPECT_LT(fast, timed / 2);
    EXPECT_FALSE(vdev.request(R"({"cmd":"timing","timing":"warp"})")["ok"].asBool());
}

} // namespace
} // namespace talyx::vdev
