#pragma once

#include <string>

#include <json/value.h>

#include "profile/ProfileList.h"

// Export and import of whole profiles. An exchange file is simply a profile document
// under any name; the file dialogs (kProfileFileFilter) are the main window's.
namespace talyx {

// True for a document that can be imported: an object whose "profilename" and
// "profileUUID" are present (not null).
bool IsImportableProfile(const Json::Value& root);

// Writes the selected profile's document to `path` (an existing file is replaced, no
// extension is added). False, and nothing written, when no profile is selected, its
// document is missing or unreadable, or the path is empty or cannot be written.
bool ExportProfile(const ProfileList& list, const std::string& path);

// Registers the document at `path` as a new profile at the end of the list, under the
// file's name (made unique: Game, Game(1), Game(1)(2)...) and a new UUID. All other
// members, the "Device" entry included, are taken over as they are; a document without
// "Device" gets the default entry when the device first loads it. The selection stays.
// False, and nothing changed, when the file is not importable or cannot be stored.
bool ImportProfile(ProfileList& list, const std::string& path);

} // namespace talyx
