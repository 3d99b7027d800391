#pragma once

// Writing the keyboard's per-user files as a user's earlier sessions would have left them:
// the macro library and profile documents, for tests that start from prepared data.

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <json/value.h>

#include "platform/JsonFile.h"
#include "platform/Paths.h"

namespace talyx::test {

// One recorded macro event as the macro files store it.
inline Json::Value MacroEvent(const char* action, int type, int button, const char* delay) {
    Json::Value e(Json::objectValue);
    e["Action"] = action;
    e["Type"] = type;
    e["Button"] = button;
    e["Delay"] = delay;
    return e;
}

struct PreparedMacro {
    std::string name;
    std::string guid;
    std::vector<Json::Value> events;
};

// "macro.config" listing the macros in order, and one Guid + ".mac" file each.
inline void WriteMacroLibrary(const std::string& folder, const std::vector<PreparedMacro>& macros) {
    Json::Value library(Json::objectValue);
    for (size_t i = 0; i < macros.size(); ++i) {
        library["MacroInfo"][Json::ArrayIndex(i)]["MacroName"] = macros[i].name;
        library["MacroInfo"][Json::ArrayIndex(i)]["Guid"] = macros[i].guid;
        Json::Value file(Json::objectValue);
        file["Events"] = Json::Value(Json::arrayValue);
        for (const Json::Value& e : macros[i].events)
            file["Events"].append(e);
        ASSERT_TRUE(writejsonFile(JoinPath(folder, macros[i].guid + ".mac"), file));
    }
    ASSERT_TRUE(writejsonFile(JoinPath(folder, "macro.config"), library));
}

// A profile document holding `entry` as its device entry; with `listed`, also a
// "ProfileList.ini" that lists it alone and selects it.
inline void WriteProfile(const std::string& folder, const std::string& uuid, const std::string& name,
                         const Json::Value& entry, bool listed) {
    Json::Value doc(Json::objectValue);
    doc["Device"][0] = entry;
    doc["profilename"] = name;
    doc["profileUUID"] = uuid;
    ASSERT_TRUE(writejsonFile(JoinPath(folder, uuid + ".Json"), doc));
    if (!listed)
        return;
    Json::Value list(Json::objectValue);
    list["profilelist"][0]["profilename"] = name;
    list["profilelist"][0]["profileUUID"] = uuid;
    list["profilelist"][0]["profileislink"] = 0;
    list["profilelist"][0]["profilelinkmame"] = "";
    list["profileselect"] = 0;
    ASSERT_TRUE(writejsonFile(JoinPath(folder, "ProfileList.ini"), list));
}

} // namespace talyx::test
