#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <json/value.h>

namespace talyx {

// One entry of "MacroInfo": the macro's display name and the stem of its file.
struct MacroInfoEntry {
    std::string name; // "MacroName"
    std::string guid; // "Guid": the file is Guid + ".mac" in the same folder
};

// One action of a macro file, as the keyboard takes it.
struct MacroEvent {
    uint16_t delay = 0; // "Delay": milliseconds to wait after the action
    uint8_t type = 0;   // "Type", cut to a byte
    uint8_t button = 0; // "Button", cut to a byte
    bool down = false;  // "Action" is "down" (anything else reads as up)
};

// The macro library of a device family, read from its folder: the index "macro.config"
// ("MacroInfo": one object per macro, in list order; a key refers to a macro by its
// position) and one file per macro, Guid + ".mac", holding its "Events".
//
// Every read goes to the disk: the macro editor rewrites these files whole after each
// change, so nothing is cached beyond the last Load. Files that are missing read as
// empty. A file that cannot be used (not JSON, nested too deep, too large, not a regular
// file, not an object) is kept aside as ".corrupt" and reads as empty too; a damaged
// index is rebuilt from the macro files in the folder. Nothing throws.
class MacroLibrary {
public:
    static constexpr const char* kIndexFileName = "macro.config";
    static constexpr const char* kMacroExtension = ".mac";
    static constexpr size_t kMaxMacros = 50;

    MacroLibrary() = default;
    explicit MacroLibrary(std::string folder) : m_folder(std::move(folder)) {}

    void SetFolder(const std::string& folder) { m_folder = folder; }
    const std::string& Folder() const { return m_folder; }

    // Reads "macro.config". False when it is missing or blank: the library is then empty.
    // A readable index without "MacroInfo" is an empty library. A damaged index is kept
    // aside and rebuilt: one entry per macro file in the folder that can be read (at most
    // 50), in the order of their Guids, under their own "MacroName" (a missing or taken
    // one becomes "macro_N"), and written back.
    bool Load();
    const std::vector<MacroInfoEntry>& Entries() const { return m_entries; }
    size_t Count() const { return m_entries.size(); }
    // "MacroName" of each entry, in list order.
    std::vector<std::string> Names() const;

    // The events of macro `index` (its position in "MacroInfo"). Empty when the index is
    // outside the list, the Guid is not a plain file name, or the file is missing or
    // unreadable.
    std::vector<MacroEvent> ReadEvents(size_t index) const;
    // The file of macro `index`, or "" when there is none to read.
    std::string MacroFilePath(size_t index) const;

    // The "Events" of one macro file.
    static std::vector<MacroEvent> ReadMacroFile(const std::string& path);
    static MacroEvent EventFromJson(const Json::Value& event);
    // "Delay" is decimal text; a number is taken too. The keyboard holds 16 bits: what
    // does not fit is held at 65535 (as the editor shows it) and anything negative or not
    // a number is 0, rather than wrapping around to some other delay.
    static uint16_t DelayFromJson(const Json::Value& delay);

private:
    Json::Value rebuildIndex() const;

    std::string m_folder;
    std::vector<MacroInfoEntry> m_entries;
};

} // namespace talyx
