#include "profile/ProfileList.h"

#include <set>
#include <unistd.h>

#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/JsonFile.h"
#include "platform/Paths.h"
#include "profile/JsonFields.h"
#include "profile/ProfileFiles.h"
#include "profile/ProfileNames.h"

namespace talyx {
namespace {

constexpr const char* kList = "profilelist";
constexpr const char* kSelect = "profileselect";
constexpr const char* kName = "profilename";
constexpr const char* kUUID = "profileUUID";
constexpr const char* kIsLink = "profileislink";
constexpr const char* kLinkName = "profilelinkmame"; // the stored key is spelled so

// The application an entry follows, "" for none.
std::string linkOfEntry(const Json::Value& e) {
    return FieldI32(e, kIsLink) == 1 ? TrimBlanks(FieldString(e, kLinkName)) : std::string();
}

} // namespace

ProfileList::ProfileList(std::string folder) : m_folder(std::move(folder)) {}

std::string ProfileList::ListPath() const {
    return m_folder.empty() ? std::string() : JoinPath(m_folder, kProfileListFileName);
}

Json::Value ProfileList::readList() const {
    return ReadDocumentForUpdate(ListPath(), kMaxJsonIndexBytes);
}

Json::Value ProfileList::readListOnly() const {
    JsonFileState state;
    return readjsonFile(ListPath(), state, kMaxJsonIndexBytes);
}

bool ProfileList::writeList(const Json::Value& root) const {
    return WriteProfileFile(ListPath(), root);
}

Json::Value ProfileList::makeEntry(const std::string& name, const std::string& uuid) {
    Json::Value e(Json::objectValue);
    e[kName] = name;
    e[kUUID] = uuid;
    e[kIsLink] = 0;
    e[kLinkName] = "";
    return e;
}

bool ProfileList::stampDocument(const std::string& uuid, const std::string& name, bool setUUID) const {
    const std::string path = ProfileDocumentPath(m_folder, uuid);
    if (path.empty())
        return false;
    Json::Value doc = ReadDocumentForUpdate(path);
    doc[kName] = name;
    if (setUUID)
        doc[kUUID] = uuid;
    return WriteProfileFile(path, doc);
}

std::vector<ProfileList::FoundDocument> ProfileList::findDocuments() const {
    // In the order of their UUIDs, which is the order the profiles were made in.
    const std::vector<std::string> stems = FileStemsIn(m_folder, kProfileDocumentExtension);
    std::vector<FoundDocument> found;
    for (const std::string& stem : stems) {
        if (found.size() >= static_cast<size_t>(kMaxProfiles))
            break;
        bool unusable = false;
        const Json::Value doc = ReadDocument(ProfileDocumentPath(m_folder, stem), unusable);
        if (doc.isObject())
            found.push_back({TrimBlanks(FieldString(doc, kName)), stem, FieldString(doc, kUUID)});
    }
    return found;
}

void ProfileList::rebuild(Json::Value& root) const {
    Json::Value& list = ArrayMember(root, kList);
    list.clear();
    // The documents in the folder come back under their own names; a name that is
    // missing or taken is made like a new profile's or an import's.
    std::vector<std::string> names;
    for (const FoundDocument& doc : findDocuments()) {
        std::string name = doc.name;
        if (name.empty()) {
            for (int n = 1;; ++n) {
                name = "profile" + std::to_string(n);
                if (FindNameIgnoringCase(names, name) < 0)
                    break;
            }
        }
        for (int k = 1; FindNameIgnoringCase(names, name) >= 0; ++k)
            name += "(" + std::to_string(k) + ")";
        names.push_back(name);
        list.append(makeEntry(name, doc.uuid));
        if (name != doc.name || doc.storedUUID != doc.uuid)
            stampDocument(doc.uuid, name, true);
    }
    root[kSelect] = 0;
    if (!list.empty()) {
        DebugOutputF("profile: list rebuilt from %u documents in %s\n", list.size(), m_folder.c_str());
        writeList(root);
        return;
    }
    const std::string uuid = MakeUUID();
    list.append(makeEntry("profile1", uuid));
    writeList(root);
    stampDocument(uuid, "profile1", true);
}

void ProfileList::Initialise() {
    Json::Value root = readList();
    const Json::Value& stored = MemberOf(root, kList);
    if (!stored.isArray() || stored.empty())
        rebuild(root);

    const Json::Value& list = MemberOf(root, kList);
    m_names.clear();
    m_links.clear();
    for (const Json::Value& e : list) {
        m_names.push_back(FieldString(e, kName));
        m_links.push_back(linkOfEntry(e));
    }
    m_selected = -1;
    m_currentUUID.clear();
    if (m_view)
        m_view->OnItemsReset(m_names);

    // A stored selection outside the list (a hand-edited or truncated file) would leave
    // the device page without a profile to load: the first profile is taken instead.
    int select = FieldI32(root, kSelect);
    if (select < 0 || select >= ItemCount())
        select = 0;
    Select(select, false);
}

std::string ProfileList::CurrentProfilePath() const {
    return ProfileDocumentPath(m_folder, m_currentUUID);
}

int ProfileList::Count() const {
    const Json::Value root = readListOnly();
    const Json::Value& list = MemberOf(root, kList);
    return list.isArray() ? static_cast<int>(list.size()) : 0;
}

std::string ProfileList::ProfileUUID(int index) const {
    if (index < 0)
        return std::string();
    const Json::Value root = readListOnly();
    return FieldString(ElementOf(MemberOf(root, kList), static_cast<Json::ArrayIndex>(index)), kUUID);
}

std::string ProfileList::ProfilePath(int index) const {
    return ProfileDocumentPath(m_folder, ProfileUUID(index));
}

bool ProfileList::Select(int index, bool raiseEvent) {
    if (index < 0 || index >= ItemCount())
        return false;
    m_selected = index;
    if (m_view)
        m_view->OnItemSelected(index, m_names[static_cast<size_t>(index)], raiseEvent);
    Json::Value root = readList();
    root[kSelect] = index;
    m_currentUUID = FieldString(ElementOf(MemberOf(root, kList), static_cast<Json::ArrayIndex>(index)), kUUID);
    writeList(root);
    return true;
}

bool ProfileList::New() {
    if (ItemCount() >= kMaxProfiles)
        return false;
    std::string name;
    for (int n = 1;; ++n) {
        name = "profile" + std::to_string(n);
        if (FindNameIgnoringCase(m_names, name) < 0)
            break;
    }
    const std::string uuid = MakeUUID();
    const int index = ItemCount();

    Json::Value root = readList();
    ArrayMember(root, kList)[static_cast<Json::ArrayIndex>(index)] = makeEntry(name, uuid);
    root[kSelect] = index;
    if (!writeList(root))
        return false;
    m_names.push_back(name);
    m_links.emplace_back();
    if (m_view)
        m_view->OnItemAppended(name);
    stampDocument(uuid, name, true);

    // The file now names the new profile as the selected one; the bar follows it, so that
    // what the user sees is what the next start opens.
    m_selected = index;
    m_currentUUID = uuid;
    if (m_view)
        m_view->OnItemSelected(index, name, false);
    return true;
}

bool ProfileList::Copy() {
    if (m_selected < 0 || m_selected >= ItemCount())
        return false;
    std::string name = m_names[static_cast<size_t>(m_selected)] + " copy";
    while (FindNameIgnoringCase(m_names, name) >= 0)
        name += " copy";
    const std::string uuid = MakeUUID();
    const std::string path = ProfileDocumentPath(m_folder, uuid);

    // The copy's document is written before it is listed, so a listed copy always holds
    // the source's settings.
    bool unusable = false;
    Json::Value doc = ReadDocument(ProfileDocumentPath(m_folder, m_currentUUID), unusable);
    if (!doc.isObject())
        doc = Json::Value(Json::objectValue);
    doc[kName] = name;
    doc[kUUID] = uuid;
    if (path.empty() || !WriteProfileFile(path, doc))
        return false;

    Json::Value root = readList();
    ArrayMember(root, kList)[static_cast<Json::ArrayIndex>(ItemCount())] = makeEntry(name, uuid);
    if (!writeList(root)) {
        ::unlink(path.c_str());
        return false;
    }
    m_names.push_back(name);
    m_links.emplace_back();
    if (m_view)
        m_view->OnItemAppended(name);
    return true;
}

bool ProfileList::Delete() {
    if (m_selected < 0 || ItemCount() <= 1)
        return false;
    const int index = m_selected;
    const int next = index == 0 ? 0 : index - 1;

    Json::Value root = readList();
    Json::Value& list = ArrayMember(root, kList);
    Json::Value removed;
    if (static_cast<Json::ArrayIndex>(index) < list.size())
        list.removeIndex(static_cast<Json::ArrayIndex>(index), &removed);
    root[kSelect] = next;
    // The list is written before the document goes: if the write fails the profile
    // stays listed and whole.
    if (!writeList(root))
        return false;

    const std::string uuid = FieldString(removed, kUUID);
    bool stillListed = false;
    for (const Json::Value& e : list)
        stillListed = stillListed || FieldString(e, kUUID) == uuid;
    const std::string path = ProfileDocumentPath(m_folder, uuid);
    if (!path.empty() && !stillListed)
        ::unlink(path.c_str());

    m_names.erase(m_names.begin() + index);
    m_links.erase(m_links.begin() + index);
    if (m_view)
        m_view->OnItemRemoved(index);
    m_selected = next;
    m_currentUUID = FieldString(ElementOf(list, static_cast<Json::ArrayIndex>(next)), kUUID);
    if (m_view)
        m_view->OnItemSelected(next, m_names[static_cast<size_t>(next)], false);
    return true;
}

ProfileList::RenameResult ProfileList::Rename(const std::string& newName) {
    if (m_selected < 0 || m_selected >= ItemCount())
        return kRenameNotDone;
    const std::string name = TrimBlanks(newName);
    if (name.empty())
        return kRenameEmpty;
    if (FindNameIgnoringCase(m_names, name, m_selected) >= 0)
        return kRenameNameInUse;

    Json::Value root = readList();
    Json::Value& entry = ArrayMember(root, kList)[static_cast<Json::ArrayIndex>(m_selected)];
    if (!entry.isObject())
        entry = Json::Value(Json::objectValue);
    entry[kName] = name;
    if (!writeList(root))
        return kRenameNotDone;
    m_names[static_cast<size_t>(m_selected)] = name;
    if (m_view)
        m_view->OnItemRenamed(m_selected, name);
    stampDocument(FieldString(entry, kUUID), name, false);
    return kRenamed;
}

bool ProfileList::AppendExisting(const std::string& name, const std::string& uuid) {
    Json::Value root = readList();
    ArrayMember(root, kList)[static_cast<Json::ArrayIndex>(ItemCount())] = makeEntry(name, uuid);
    if (!writeList(root))
        return false;
    m_names.push_back(name);
    m_links.emplace_back();
    if (m_view)
        m_view->OnItemAppended(name);
    return true;
}

std::string ProfileList::LinkOf(int index) const {
    return index >= 0 && index < static_cast<int>(m_links.size()) ? m_links[static_cast<size_t>(index)] : std::string();
}

int ProfileList::FindLinked(const std::string& application) const {
    const std::string wanted = TrimBlanks(application);
    if (wanted.empty())
        return -1;
    for (size_t i = 0; i < m_links.size(); ++i)
        if (!m_links[i].empty() && FindNameIgnoringCase({m_links[i]}, wanted) == 0)
            return static_cast<int>(i);
    return -1;
}

bool ProfileList::SetLink(int index, const std::string& application) {
    if (index < 0 || index >= ItemCount())
        return false;
    const std::string link = TrimBlanks(application);
    const int other = FindLinked(link);

    Json::Value root = readList();
    Json::Value& list = ArrayMember(root, kList);
    Json::Value& entry = list[static_cast<Json::ArrayIndex>(index)];
    if (!entry.isObject())
        entry = Json::Value(Json::objectValue);
    entry[kIsLink] = link.empty() ? 0 : 1;
    entry[kLinkName] = link;
    if (other >= 0 && other != index) {
        Json::Value& previous = list[static_cast<Json::ArrayIndex>(other)];
        if (previous.isObject()) {
            previous[kIsLink] = 0;
            previous[kLinkName] = "";
        }
    }
    if (!writeList(root))
        return false;
    if (other >= 0 && other != index)
        m_links[static_cast<size_t>(other)].clear();
    m_links[static_cast<size_t>(index)] = link;
    return true;
}

std::string ProfileList::MakeUUID() const {
    std::set<std::string> listed;
    const Json::Value root = readListOnly();
    for (const Json::Value& e : MemberOf(root, kList))
        listed.insert(FieldString(e, kUUID));
    // NewTimestampId never repeats within the process; a document left by an earlier
    // run, or a UUID listed by hand, is skipped as well. Each try moves on by at least
    // one millisecond, so the loop ends.
    std::string id = NewTimestampId();
    for (int tries = 0; tries < 100000; ++tries) {
        if (!listed.count(id) && !FileExists(ProfileDocumentPath(m_folder, id)))
            break;
        id = NewTimestampId();
    }
    return id;
}

std::string ProfileList::UniqueImportName(const std::string& base) const {
    std::string name = base;
    for (int k = 1; FindNameIgnoringCase(m_names, name) >= 0; ++k)
        name += "(" + std::to_string(k) + ")";
    return name;
}

} // namespace talyx
