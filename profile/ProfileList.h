#pragma once

#include <string>
#include <vector>

#include <json/value.h>

namespace talyx {

// What the profile bar shows of the list. The profile bar's combo box implements it;
// the list tells it every change so that the combo's items and the file's array stay in
// the same order. All calls come on the user-interface thread.
class IProfileListView {
public:
    virtual ~IProfileListView() = default;
    // The whole list was (re)built, in file order.
    virtual void OnItemsReset(const std::vector<std::string>& names) { (void)names; }
    virtual void OnItemAppended(const std::string& name) { (void)name; }
    virtual void OnItemRemoved(int index) { (void)index; }
    virtual void OnItemRenamed(int index, const std::string& name) {
        (void)index;
        (void)name;
    }
    // Item `index` is now the selected one; its name goes into the name edit. The
    // combo raises its own selection notification only when `raiseEvent` is set.
    virtual void OnItemSelected(int index, const std::string& name, bool raiseEvent) {
        (void)index;
        (void)name;
        (void)raiseEvent;
    }
};

// The named profiles of one device family: "ProfileList.ini" (a JSON document despite
// its name) in the family's profile folder, and one document per profile,
// <UUID>.Json, beside it.
//
// "ProfileList.ini":
//   { "profilelist": [ { "profilename": "...", "profileUUID": "...",
//                        "profileislink": 0, "profilelinkmame": "" }, ... ],
//     "profileselect": <index> }
//
// A profile may follow an application: "profileislink" 1 with the application's identity
// in "profilelinkmame" (its desktop-file id where known, else its window class or
// executable name). 0, or an empty identity, is no link. Entries are changed member by
// member, so a list written back holds the bytes it was read with, apart from the change.
//
// The list keeps the names in memory in the order of the file, as the profile bar's
// combo shows them; the file itself is re-read before every change and written straight
// after it. Names are compared without regard to case. A file that cannot be parsed is
// kept as ".corrupt" before it is replaced.
class ProfileList {
public:
    // New profiles are refused once this many are listed.
    static constexpr int kMaxProfiles = 50;

    enum RenameResult {
        kRenameNotDone = -1, // nothing is selected
        kRenameNameInUse = 0,
        kRenamed = 1,
        kRenameEmpty = 2,
    };

    explicit ProfileList(std::string folder);

    void SetView(IProfileListView* view) { m_view = view; }
    const std::string& Folder() const { return m_folder; }
    std::string ListPath() const;

    // Builds the names from the file and selects the stored selection. A missing, empty
    // or unreadable file, or one without profiles, is (re)made: from the profile
    // documents in the folder, under their own names, in the order of their UUIDs (up to
    // 50); or, when there are none, with one profile, "profile1", whose document then
    // holds only its name and UUID. The first profile is selected.
    void Initialise();

    // The names as the combo shows them, and the selected index (-1 for none).
    const std::vector<std::string>& Names() const { return m_names; }
    int ItemCount() const { return static_cast<int>(m_names.size()); }
    int Selected() const { return m_selected; }
    // The application each profile follows, in list order ("" for none).
    const std::vector<std::string>& Links() const { return m_links; }
    std::string LinkOf(int index) const;
    // The profile that follows this application (identities compared without regard to
    // case), -1 for none.
    int FindLinked(const std::string& application) const;
    // Links profile `index` to `application`, or removes its link when that is empty (after
    // trimming blanks). An application follows one profile: another profile linked to it
    // loses its link. False, and nothing changes, when `index` is not an item or the list
    // cannot be written.
    bool SetLink(int index, const std::string& application);

    // The UUID of the selected profile, from the last selection.
    const std::string& CurrentUUID() const { return m_currentUUID; }
    // Path of the selected profile's document; empty when there is none.
    std::string CurrentProfilePath() const;

    // Size of "profilelist" in the file.
    int Count() const;
    // Profile folder + "profilelist"[i]."profileUUID" + ".Json"; empty when out of range.
    std::string ProfilePath(int index) const;
    // "profilelist"[i]."profileUUID" from the file; empty when out of range.
    std::string ProfileUUID(int index) const;

    // Selects item i: records it as "profileselect" in the file and takes its UUID as the
    // current one. False, and nothing changes, when i is not an item.
    bool Select(int index, bool raiseEvent);

    // Appends "profileN" with the smallest free N, with a new document holding only its
    // name and UUID, and selects it. False with 50 or more profiles.
    bool New();
    // Appends "<name> copy" (" copy" repeated while the name is taken) holding every
    // setting of the selected profile. The selection stays. False when nothing is selected.
    bool Copy();
    // Removes the selected profile and its document and selects the one before it (the
    // new first one when the first was removed). False, and nothing changes, with no
    // selection or only one profile.
    bool Delete();
    // Renames the selected profile. The name is taken without blanks at either end.
    RenameResult Rename(const std::string& newName);

    // Registers a document already written at the folder's <uuid>.Json under `name`,
    // appended at the end; the selection stays. Used by import. False when the list
    // cannot be written.
    bool AppendExisting(const std::string& name, const std::string& uuid);

    // A UUID (time-stamp identifier) that no listed profile and no file in the folder
    // uses yet.
    std::string MakeUUID() const;
    // `base` made unique among the names: "(1)", then "(2)"... appended behind it while it
    // clashes, so "Game" beside Game and Game(1) becomes "Game(1)(2)".
    std::string UniqueImportName(const std::string& base) const;

private:
    struct FoundDocument {
        std::string name;       // its "profilename", without blanks at the ends
        std::string uuid;       // its file name without ".Json"
        std::string storedUUID; // its "profileUUID"
    };

    Json::Value readList() const;
    // The file as it is, nothing kept aside: for reads that do not write it back.
    Json::Value readListOnly() const;
    // The profile documents in the folder that can be read, in the order of their names.
    std::vector<FoundDocument> findDocuments() const;
    // Fills an empty list from the documents in the folder, or with "profile1", and
    // writes it.
    void rebuild(Json::Value& root) const;
    bool writeList(const Json::Value& root) const;
    static Json::Value makeEntry(const std::string& name, const std::string& uuid);
    // Writes name and UUID into the profile's own document, keeping everything else.
    bool stampDocument(const std::string& uuid, const std::string& name, bool setUUID) const;

    std::string m_folder;
    std::vector<std::string> m_names;
    std::vector<std::string> m_links; // beside m_names
    int m_selected = -1;
    std::string m_currentUUID;
    IProfileListView* m_view = nullptr;
};

} // namespace talyx
