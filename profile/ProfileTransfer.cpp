#include "profile/ProfileTransfer.h"

#include <unistd.h>

#include "platform/JsonFile.h"
#include "profile/JsonFields.h"
#include "profile/ProfileFiles.h"
#include "profile/ProfileNames.h"

namespace talyx {

bool IsImportableProfile(const Json::Value& root) {
    return root.isObject() && !MemberOf(root, "profilename").isNull() && !MemberOf(root, "profileUUID").isNull();
}

bool ExportProfile(const ProfileList& list, const std::string& path) {
    if (list.Selected() < 0 || path.empty())
        return false;
    const std::string document = list.ProfilePath(list.Selected());
    if (document.empty())
        return false;
    bool unusable = false;
    const Json::Value root = ReadDocument(document, unusable);
    // A profile whose document is gone would export as a bare null that no import
    // accepts; nothing is written instead.
    if (!root.isObject())
        return false;
    return writejsonFile(path, root);
}

bool ImportProfile(ProfileList& list, const std::string& path) {
    if (path.empty())
        return false;
    Json::Value root = readjsonFile(path);
    if (!IsImportableProfile(root))
        return false;

    // The name shown is the file's own name, not the "profilename" inside it.
    std::string name = TrimBlanks(FileStemOf(path));
    if (name.empty())
        name = TrimBlanks(FieldString(root, "profilename"));
    if (name.empty())
        name = "profile";
    name = list.UniqueImportName(name);
    const std::string uuid = list.MakeUUID();
    const std::string document = ProfileDocumentPath(list.Folder(), uuid);

    root["profilename"] = name;
    root["profileUUID"] = uuid;
    // The document is stored before it is listed, so a listed import always holds the
    // imported settings.
    if (document.empty() || !WriteProfileFile(document, root))
        return false;
    if (!list.AppendExisting(name, uuid)) {
        ::unlink(document.c_str());
        return false;
    }
    return true;
}

} // namespace talyx
