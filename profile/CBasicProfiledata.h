#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <json/value.h>

#include "profile/ProfileRecords.h"

namespace talyx {

// The profile document of one device page: its device entry in memory, typed getters
// for the device code, setters that take the packed values the device code uses, and
// the rules for writing the document back.
//
// A profile document is {"Device": [entry, ...], "profilename": ..., "profileUUID": ...}.
// Only entry [entry index] is read and written; other entries and other root members are
// left as they are, because every write re-reads the file first.
//
// Getters re-read the in-memory entry and refresh their cache; a member that is missing
// reads as zeros (or an empty list), a key missing inside a present member reads as 0.
// Setters change the cache and the in-memory entry only; nothing reaches the disk until
// SaveProfile. Every operation runs on the user-interface thread.
class CBasicProfiledata {
public:
    CBasicProfiledata();
    virtual ~CBasicProfiledata();
    CBasicProfiledata(const CBasicProfiledata&) = delete;
    CBasicProfiledata& operator=(const CBasicProfiledata&) = delete;

    // Paths. The setters of the profile and default paths ignore an empty string, so a
    // page that has not resolved its profile yet cannot point the object nowhere.
    void SetProfilePath(const std::string& path);
    const std::string& GetProfilePath() const { return m_profilePath; }
    void SetDefaultPath(const std::string& path);
    const std::string& GetDefaultPath() const { return m_defaultPath; }
    void SetMacroPath(const std::string& path) { m_macroPath = path; }
    const std::string& GetMacroPath() const { return m_macroPath; }
    // Index of the device entry in "Device"; the device page sets 0. Values outside
    // 0-255 are refused.
    void SetEntryIndex(int index);
    int GetEntryIndex() const { return m_entryIndex; }

    // Loads entry [entry index] of the profile document into memory. When the document
    // is missing, blank, not JSON, or lacks a usable entry, the entry is taken from the
    // default document and the profile document is written with it; a file that could
    // not be parsed is kept beside it as ".corrupt" first. Returns the entry.
    Json::Value LoadDeviceEntry();
    // The same for the second entry slot, from another profile document of the device.
    Json::Value LoadSecondEntry(const std::string& path);

    const Json::Value& DeviceEntry() const { return m_entry; }
    void SetDeviceEntry(const Json::Value& entry) { m_entry = entry; }
    const Json::Value& SecondEntry() const { return m_secondEntry; }
    void SetSecondEntry(const Json::Value& entry) { m_secondEntry = entry; }

    // The document operations, in this order. Each returns false when the file could
    // not be written; the file on disk is then the previous one, whole.
    // Writes the in-memory entry to the profile path.
    virtual bool SaveProfile();
    // Re-reads the document at path, sets "Device"[entry index] to entry, writes it all.
    virtual bool WriteDeviceEntry(const Json::Value& entry, const std::string& path);
    // Writes the second entry slot into the document at path.
    virtual bool SaveSecondEntry(const std::string& path);
    // Writes root to path (styled layout, replaced atomically).
    virtual bool WriteDocument(const Json::Value& root, const std::string& path);

    // "LightInfo".
    LightInfo GetLightInfo();
    void SetLightInfo(const LightInfo& info);
    void SetLightInfo(uint32_t w0, uint32_t w1, uint32_t w2, uint16_t half);
    const LightInfo& CachedLightInfo() const { return m_lightInfo; }

    // "AudioLightInfo" (keyboard).
    AudioLightInfo GetAudioLightInfo();
    void SetAudioLightInfo(const AudioLightInfo& info);
    void SetAudioLightInfo(uint32_t w0, uint32_t w1, uint8_t last);

    // "LightList": one record per zone, null elements kept with present = 0.
    std::vector<LedZone> GetLightList();
    // Writes the zones back; a zone with present = 0 is written as null.
    void SetLightList(const std::vector<LedZone>& zones);

    // "KeyList". Two caches with one layout and one writer, both writing "Assignment"
    // of the in-memory entry; "DefaultAssignment" is never written.
    KeyList GetKeyList();
    void SetKeyList(const KeyList& keys);
    // Stores one key's assignment (24-bit code) by key position.
    void SetKeyAssignment(size_t position, uint32_t code);
    KeyList GetSecondKeyList();
    void SetSecondKeyList(const KeyList& keys);
    const KeyList& CachedKeyList() const { return m_keyList; }

    // The key list of the second entry slot, for changes made to every profile of the
    // device in turn (macro deletion); saved with SaveSecondEntry.
    KeyList GetSecondEntryKeyList() const;
    void SetSecondEntryKeyList(const KeyList& keys);

    // "CustomLightMode": per-key colours of group `group`, one per key position. Entries
    // the document lacks (the whole group, or single null entries) come from `defaults`;
    // the result has defaults.size() entries.
    std::vector<KeyColour> GetCustomColours(int group, const std::vector<KeyColour>& defaults);
    void SetCustomColours(int group, const std::vector<KeyColour>& colours);
    int GetCustomGroupIndex();
    void SetCustomGroupIndex(int group);

    // The custom effect library (prefix + ".config" in the profile folder).
    void SetCustomEffectLibraryPath(const std::string& path) { m_effectLibraryPath = path; }
    const std::string& GetCustomEffectLibraryPath() const { return m_effectLibraryPath; }
    // Reads the library from its path; false when it is missing or invalid.
    bool LoadCustomEffectLibrary();
    const Json::Value& CustomEffectLibrary() const { return m_effectLibrary; }
    // The steps of saved style `styleIndex` of this entry: the library's
    // "LightInfo"[entry index][styleIndex]."Guid" names the file Guid + ".light", looked
    // up in the library's folder. Empty when the library, the entry or the file is
    // missing or invalid.
    std::vector<EffectStep> GetCustomEffectSteps(int styleIndex) const;

    // Helpers shared with the profile list and the tests: the key list held by any
    // device entry, and its writer.
    static KeyList ReadKeyList(const Json::Value& entry);
    static void WriteKeyList(Json::Value& entry, const KeyList& keys);

protected:
    // Loads entry [entry index] of the document at path, rebuilding it from the default
    // document when needed (see LoadDeviceEntry).
    Json::Value loadEntry(const std::string& path);

    std::string m_profilePath;
    std::string m_defaultPath;
    std::string m_macroPath;
    std::string m_effectLibraryPath;
    int m_entryIndex = 0;

    Json::Value m_entry;
    Json::Value m_secondEntry;
    Json::Value m_effectLibrary;

    LightInfo m_lightInfo;
    AudioLightInfo m_audioLightInfo;
    std::vector<LedZone> m_zones;
    KeyList m_keyList;
    KeyList m_secondKeyList;
    std::array<uint32_t, 3> m_systemWords{}; // the family's settings, packed as its device code uses them
    std::map<int, std::vector<KeyColour>> m_customColours;
    int m_customGroupIndex = 0;
};

} // namespace talyx
