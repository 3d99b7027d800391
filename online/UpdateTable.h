#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "online/UpdateReply.h"

namespace talyx {

// One product the settings window asks the update server about.
struct UpdateRow {
    int type = 0;                // 0 the application; otherwise a device's firmware
    int mode = 1;                // 1, or -1 for a device in its receiver form
    uint32_t currentVersion = 0; // 0: unknown (the row is not asked about)
    std::string brand;
    std::string model;
    std::string keyName;
    std::string displayName;
    std::string displayVersion;

    bool IsApplication() const { return type == 0; }
};

// The fixed table: mouse, keyboard and mouse-pad firmware (rows 0 to 2, one per device
// family in family order), then the application. The application's display version is
// "V" and the program's version; the About window shows it too.
std::vector<UpdateRow> UpdateTableRows();
inline constexpr int kApplicationRow = 3;

// The program's own version, e.g. "0.1.0".
const char* ProgramVersion();
// "V" + ProgramVersion().
std::string ApplicationDisplayVersion();

// "NULL" when the version is unknown; else brand_type_model_keyname_mode.
std::string ApplicationKey(const UpdateRow& row);
// "app_key=<key>&version=<hex>" for firmware, "...&version=<decimal>" for the
// application. The caller sends it with its terminating zero.
std::string QueryBody(const UpdateRow& row);
// "V%04x" of the version for firmware, "V%d" for the application.
std::string CurrentVersionText(const UpdateRow& row);

// The server's base address: $TALYX_UPDATE_URL when set, else the address the program
// was built with; always ending in "/".
std::string UpdateBaseUrl();
// Base + "updates".
std::string UpdateQueryUrl();

// A dotted version ("1.0.5") with its dots removed, read as a decimal number (105);
// 0 when the rest is not a number.
uint32_t ParseDisplayVersion(const std::string& text);
// The reply's "version" of a row: base 16 for firmware, base 10 for the application;
// every character must be a digit of that base. False otherwise.
bool ParseReplyVersion(const std::string& text, bool application, uint32_t& out);
// True when the reply offers a version above the row's.
bool OffersNewer(const UpdateRow& row, const UpdateReply& reply);

// The installed version as an installer records it: "DisplayVersion" under the
// product's uninstall key of the settings store, dots removed. 0 when missing.
uint32_t ReadInstalledVersion();
// What an installer does: records the program's version there (creating the key).
void StoreInstalledVersion();
std::string UninstallKey();

// "updatetime.config" in the product's data folder: {"updatelasttime": {"value": date}},
// the date written "%d-%d-%d".
std::string UpdateTimePath();
std::string TodayText();
// The stored date; empty when missing.
std::string ReadLastUpdateDate();
bool WriteLastUpdateDate(const std::string& date);

} // namespace talyx
