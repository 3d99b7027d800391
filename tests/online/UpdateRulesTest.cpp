// What the update page decides from the server's replies and the stored versions.
#include <regex>

#include "online/UpdateReply.h"
#include "online/UpdateTable.h"
#include "platform/JsonFile.h"
#include "platform/Registry.h"
#include "tests/online/OnlineTestSupport.h"

using namespace talyx;
using namespace talyx::test;

namespace {

bool parse(const std::string& text, UpdateReply& reply) {
    return ParseUpdateReply(text.data(), text.size(), reply);
}

} // namespace

TEST(UpdateReplyTest, OnlyTheExpectedShapeIsAnAnswer) {
    UpdateReply reply;
    const std::string digest(64, 'A');
    ASSERT_TRUE(parse(R"({"path":"https://h/p.sh","name":"TALYX RGB","version_name":"V1.0.6","version":"106",)"
                      R"("device_id":7,"sha256":")" +
                          digest + "\"}" + std::string(3, '\0'),
                      reply));
    EXPECT_EQ(reply.path, "https://h/p.sh");
    EXPECT_EQ(reply.name, "TALYX RGB");
    EXPECT_EQ(reply.versionName, "V1.0.6");
    EXPECT_EQ(reply.version, "106");
    EXPECT_EQ(reply.deviceId, 7);
    EXPECT_EQ(reply.sha256, std::string(64, 'a'));
    ASSERT_TRUE(parse(R"({"name":""})", reply)) << "no update: an empty name and nothing else";
    EXPECT_TRUE(reply.name.empty());

    const std::string tooBig = R"({"name":""})" + std::string(kUpdateReplyCapacity, ' ');
    for (const std::string& bad : {
             std::string("<html><body>502 Bad Gateway</body></html>"),
             std::string(R"(["name","version"])"),
             std::string("{}"),
             std::string(R"({"name":5})"),
             std::string(R"({"name":"x","version":106,"path":"p"})"),
             std::string(R"({"name":"x","version":"1","path":["p"]})"),
             std::string(R"({"name":"x","version":"1"})"),
             std::string(R"({"name":"x","version":"1","path":"p","device_id":"7"})"),
             std::string(R"({"name":"x","version":"1","path":"p","device_id":1.5})"),
             std::string(R"({"name":"x","version":"1","path":"p","sha256":"abc"})"),
             std::string(R"({"name":"","name":"x"})"),
             std::string(R"({"name":""} trailing)"),
             std::string(R"({"name":"")"),
             std::string(5000, '[') + std::string(5000, ']'),
             tooBig,
             std::string(),
         })
        EXPECT_FALSE(parse(bad, reply)) << bad.substr(0, 80);
}

TEST(UpdateRulesTest, VersionsKeysAndQueriesFollowTheRow) {
    std::vector<UpdateRow> rows = UpdateTableRows();
    ASSERT_EQ(rows.size(), 4u);
    UpdateRow firmware = rows[1];
    UpdateRow app = rows[kApplicationRow];
    EXPECT_EQ(ApplicationKey(firmware), "NULL") << "an unknown version asks for nothing in particular";
    firmware.currentVersion = 0x19;
    firmware.mode = -1;
    EXPECT_EQ(ApplicationKey(firmware), "QUORV_1_RX40Q71B_TALYX RGB_-1");
    EXPECT_EQ(QueryBody(firmware), "app_key=QUORV_1_RX40Q71B_TALYX RGB_-1&version=19");
    EXPECT_EQ(CurrentVersionText(firmware), "V0019");
    UpdateReply reply;
    reply.version = "1a";
    EXPECT_TRUE(OffersNewer(firmware, reply)) << "1a is read in base 16";
    firmware.currentVersion = 0x1a;
    EXPECT_FALSE(OffersNewer(firmware, reply));

    app.currentVersion = ParseDisplayVersion("1.0.5");
    EXPECT_EQ(app.currentVersion, 105u);
    EXPECT_EQ(QueryBody(app), "app_key=QUORV_0_ALL_TALYX RGB_1&version=105");
    EXPECT_EQ(CurrentVersionText(app), "V105");
    reply.version = "105";
    EXPECT_FALSE(OffersNewer(app, reply));
    reply.version = "106";
    EXPECT_TRUE(OffersNewer(app, reply));
    for (const char* bad : {"1a", "1.0.6", "", "-5", "99999999999"}) {
        reply.version = bad;
        EXPECT_FALSE(OffersNewer(app, reply)) << bad;
    }
    EXPECT_EQ(ParseDisplayVersion("1.x"), 0u);
    EXPECT_EQ(app.displayVersion, std::string("V") + ProgramVersion());
}

TEST_F(OnlineFixture, InstalledVersionAndLastCheckAreKept) {
    EXPECT_EQ(ReadInstalledVersion(), 0u);
    StoreInstalledVersion();
    EXPECT_EQ(RegistryStore::user().readString(UninstallKey(), "DisplayVersion").value_or(""), ProgramVersion());
    EXPECT_EQ(ReadInstalledVersion(), ParseDisplayVersion(ProgramVersion()));

    EXPECT_EQ(ReadLastUpdateDate(), "");
    EXPECT_TRUE(std::regex_match(TodayText(), std::regex("[0-9]{4}-[1-9][0-9]?-[1-9][0-9]?")));
    ASSERT_TRUE(WriteLastUpdateDate("2026-1-5"));
    EXPECT_EQ(ReadLastUpdateDate(), "2026-1-5");
    EXPECT_EQ(readjsonFile(UpdateTimePath())["updatelasttime"]["value"].asString(), "2026-1-5");
    EXPECT_NE(UpdateTimePath().find("/TALYX RGB Gaming keyboard/updatetime.config"), std::string::npos);
}
