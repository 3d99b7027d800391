#pragma once

// What the update tests share: a scratch home (data, settings, cache), a certificate the
// client is told to trust, no proxies, and the local server.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/online/TestHttpServer.h"
#include "tests/support/TestSupport.h"

namespace talyx::test {

// One trusted certificate for the whole test program (making one takes a moment).
struct TrustedCertificate {
    ScratchDir dir;
    std::string cert;
    std::string key;
    bool made = TestHttpServer::MakeCertificate(dir.path(), "trusted", cert, key);
    static TrustedCertificate& Get() {
        static TrustedCertificate c;
        return c;
    }
};

class OnlineFixture : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TrustedCertificate::Get().made)
            GTEST_SKIP() << "the openssl program could not make a certificate";
    }
    // Starts the HTTPS server with the trusted certificate.
    void serve(TestHttpServer::Handler handler) {
        ASSERT_TRUE(server.Start(std::move(handler), TrustedCertificate::Get().cert, TrustedCertificate::Get().key));
    }
    static mode_t modeOf(const std::string& path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
    }

    ScratchDir home;
    ScopedEnv dataHome{"XDG_DATA_HOME", home.path() + "/data"};
    ScopedEnv configHome{"XDG_CONFIG_HOME", home.path() + "/config"};
    ScopedEnv cacheHome{"XDG_CACHE_HOME", home.path() + "/cache"};
    ScopedEnv ca{"TALYX_UPDATE_CA_FILE", TrustedCertificate::Get().cert};
    ScopedEnv noProxy1{"https_proxy", ""};
    ScopedEnv noProxy2{"http_proxy", ""};
    ScopedEnv noProxy3{"all_proxy", ""};
    ScopedEnv noProxy4{"HTTPS_PROXY", ""};
    ScopedEnv noProxy5{"ALL_PROXY", ""};
    TestHttpServer server;
};

} // namespace talyx::test
