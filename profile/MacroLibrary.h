#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
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

    // ---- Changes. Each re-reads the index first (a damaged one is kept aside and rebuilt,
    // as Load does) and writes it whole, atomically.

    static constexpr size_t kMaxEvents = 4000;
    static constexpr int kFileVersion = 64;

    // A name for a new macro: "macro_N" with the smallest N that no entry has, compared
    // without regard to case.
    std::string NewMacroName() const;
    // A Guid for a new macro: a time stamp that no entry uses and no file in the folder
    // has.
    std::string NewGuid() const;
    // A name that can be given to macro `index` (SIZE_MAX for a new one): not empty after
    // trimming, and not the name of any entry, its own included, without regard to case.
    // The trimmed name goes to `trimmed`.
    bool IsNameAvailable(const std::string& name, std::string* trimmed = nullptr) const;
    // Appends a macro with this name and a new Guid. No macro file is written until the
    // first save. The new position, or -1 with 50 macros already, a name that is not
    // available, or an index that could not be written.
    int Add(const std::string& name);
    // False when the name is not available or the index could not be written.
    bool Rename(size_t index, const std::string& name);
    // Removes macro `index`: the index is written first, then the macro file is removed
    // (only when its Guid is a plain file name of this folder). False, nothing changed,
    // when the index could not be written.
    bool Remove(size_t index);
    // Writes macro `index`'s file: "MacroName", "Guid", `events` and "Version" 64, with
    // every delay held to 0-65535 and written as decimal text. At most 4000 events are
    // kept. False when the index is outside the list, the Guid is not a plain file name,
    // or the file could not be written.
    bool WriteEvents(size_t index, const Json::Value& events);

    enum class Exchange {
        Ok,
        NoMacro,       // no macro at that position
        NoFile,        // the macro has no file yet (nothing was saved)
        Unreadable,    // missing, empty, too large, not a regular file, or not JSON
        NotAMacro,     // not an object with an "Events" array
        TooManyEvents, // more than 4000
        BadEvent,      // an event that is not an object with "Action", "Type", "Button", "Delay"
        BadGuid,       // a "Guid" that is not a plain file name
        SameFile,      // the chosen file is the macro's own file
        WriteFailed,
    };
    // Checks the chosen file (a JSON object whose "Events" array holds at most 4000
    // well-formed events, with a plain-name "Guid" when it has one) and only then copies
    // it byte for byte over macro `index`'s file, atomically. Anything but Ok changes
    // nothing on disk.
    Exchange Import(size_t index, const std::string& path) const;
    // Copies macro `index`'s file byte for byte to `path`, atomically.
    Exchange Export(size_t index, const std::string& path) const;
    // Whether an event of a file is one the editor and the keyboard can use.
    static bool IsWellFormedEvent(const Json::Value& event);

    // After macro `removed` left the library: in every profile document of `folder`
    // (every "Device" entry), a key bound to that macro gets its default assignment and a
    // key bound to a later macro moves down by one. Documents that cannot be read are left
    // as they are. The UUIDs of the documents that changed.
    static std::vector<std::string> RenumberProfileAssignments(const std::string& folder, size_t removed);

private:
    Json::Value rebuildIndex() const;
    // The index as it is on disk (after Load), to be changed and written back.
    Json::Value indexForUpdate();
    bool writeIndex(const Json::Value& root);

    std::string m_folder;
    std::vector<MacroInfoEntry> m_entries;
};

} // namespace talyx
