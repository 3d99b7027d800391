#pragma once

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <json/value.h>

#include "platform/JsonFile.h"
#include "platform/Paths.h"
#include "tests/support/TestSupport.h"

namespace talyx::test {

// Every profile test runs with a private per-user folder and the program data of the
// source tree.
class ProfileTest : public ::testing::Test {
protected:
    ProfileTest()
        : m_home("XDG_DATA_HOME", m_scratch.path()), m_data("TALYX_DATA_DIR", TALYX_SOURCE_DIR) {}

    std::string folder(const std::string& family = "keyboard") const { return FamilyDataDir(family); }
    std::string path(const std::string& name, const std::string& family = "keyboard") const {
        return JoinPath(folder(family), name);
    }

    static void writeText(const std::string& file, const std::string& text) {
        std::ofstream out(file, std::ios::binary);
        out << text;
    }
    static std::string readText(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static Json::Value json(const std::string& text) { return parseJson(text); }

    ScratchDir m_scratch;
    ScopedEnv m_home;
    ScopedEnv m_data;
};

} // namespace talyx::test
