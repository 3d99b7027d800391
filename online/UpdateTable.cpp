#include "online/UpdateTable.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <json/value.h>

#include "platform/JsonFile.h"
#include "platform/Paths.h"
#include "platform/Product.h"
#include "platform/Registry.h"

#ifndef TALYX_VERSION
#define TALYX_VERSION "0.0.0"
#endif
#ifndef TALYX_UPDATE_URL
#define TALYX_UPDATE_URL "https://update.talyx.example/api/"
#endif

namespace talyx {

std::vector<UpdateRow> UpdateTableRows() {
    return {
        {1, 1, 0, "QUORV", "RX40Q38B", "MS", "MS", ""},
        {1, 1, 0, "QUORV", "RX40Q71B", "TALYX RGB", "TALYX RGB", ""},
        {2, 1, 0, "QUORV", "RX40Q52B_1", "Q77", "Q77", ""},
        {0, 1, 0, "QUORV", "ALL", "TALYX RGB", "AP", ApplicationDisplayVersion()},
    };
}

const char* ProgramVersion() {
    return TALYX_VERSION;
}

std::string ApplicationDisplayVersion() {
    return std::string("V") + ProgramVersion();
}

std::string ApplicationKey(const UpdateRow& row) {
    if (row.currentVersion == 0)
        return "NULL";
    return row.brand + "_" + std::to_string(row.type) + "_" + row.model + "_" + row.keyName + "_" +
           std::to_string(row.mode);
}

std::string QueryBody(const UpdateRow& row) {
    char version[16];
    std::snprintf(version, sizeof version, row.IsApplication() ? "%u" : "%x", row.currentVersion);
    return "app_key=" + ApplicationKey(row) + "&version=" + version;
}

std::string CurrentVersionText(const UpdateRow& row) {
    char text[16];
    std::snprintf(text, sizeof text, row.IsApplication() ? "V%u" : "V%04x", row.currentVersion);
    return text;
}

std::string UpdateBaseUrl() {
    const char* env = std::getenv("TALYX_UPDATE_URL");
    std::string base = env && *env ? env : TALYX_UPDATE_URL;
    if (!base.empty() && base.back() != '/')
        base += '/';
    return base;
}

std::string UpdateQueryUrl() {
    return UpdateBaseUrl() + "updates";
}

uint32_t ParseDisplayVersion(const std::string& text) {
    std::string digits;
    for (char c : text)
        if (c != '.')
            digits += c;
    uint32_t value = 0;
    return ParseReplyVersion(digits, true, value) ? value : 0;
}

bool ParseReplyVersion(const std::string& text, bool application, uint32_t& out) {
    if (text.empty() || text.size() > 10)
        return false;
    const uint64_t base = application ? 10 : 16;
    uint64_t value = 0;
    for (char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (!application && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (!application && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            return false;
        value = value * base + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFull)
            return false;
    }
    out = static_cast<uint32_t>(value);
    return true;
}

bool OffersNewer(const UpdateRow& row, const UpdateReply& reply) {
    uint32_t offered = 0;
    return ParseReplyVersion(reply.version, row.IsApplication(), offered) && row.currentVersion < offered;
}

std::string UninstallKey() {
    return std::string("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + kProductTitle;
}

uint32_t ReadInstalledVersion() {
    const auto text = RegistryStore::user().readString(UninstallKey(), "DisplayVersion");
    return text ? ParseDisplayVersion(*text) : 0;
}

void StoreInstalledVersion() {
    RegistryStore store = RegistryStore::user();
    if (store.readString(UninstallKey(), "DisplayVersion").value_or("") == ProgramVersion())
        return;
    store.createKey(UninstallKey());
    store.writeString(UninstallKey(), "DisplayVersion", ProgramVersion());
}

std::string UpdateTimePath() {
    return JoinPath(ProductDataDir(), "updatetime.config");
}

std::string TodayText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%d-%d-%d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    return text;
}

std::string ReadLastUpdateDate() {
    const Json::Value root = readjsonFile(UpdateTimePath());
    if (!root.isObject() || !root["updatelasttime"].isObject() || !root["updatelasttime"]["value"].isString())
        return std::string();
    return root["updatelasttime"]["value"].asString();
}

bool WriteLastUpdateDate(const std::string& date) {
    Json::Value root(Json::objectValue);
    root["updatelasttime"]["value"] = date;
    return writejsonFile(UpdateTimePath(), root);
}

} // namespace talyx
