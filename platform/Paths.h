#pragma once

#include <string>
#include <sys/types.h>

namespace talyx {

// Folder of the running executable (no trailing slash).
std::string ExecutableDir();

// Where "skin", "DefaultData", "Font" and "lang" live: $TALYX_DATA_DIR when set, else
// beside the executable when a "skin" folder is there (a build tree), else the install
// prefix's share/talyx folder.
std::string ProgramDataDir();

// The user's home folder: $HOME, or the password database's entry of this user. Empty
// when neither names an absolute path. Per-user data never falls back to a folder that
// other users share: without a home it has no place at all.
std::string HomeDir();
// $XDG_DATA_HOME, or ~/.local/share; empty without either. Environment values that are
// not absolute paths are ignored.
std::string UserDataRoot();
// $XDG_CONFIG_HOME, or ~/.config; empty without either.
std::string UserConfigRoot();
// $XDG_RUNTIME_DIR when it is an absolute path, else empty.
std::string RuntimeDir();
// $TMPDIR, or /tmp.
std::string TempDir();

// The per-user folder of the product (created 0700 when missing), empty when the user
// has no data folder: UserDataRoot()/TALYX RGB Gaming keyboard
std::string ProductDataDir();
// The per-user folder of a device family, e.g. ".../TALYX RGB Gaming keyboard/keyboard"
// (created 0700), empty when the user has no data folder.
std::string FamilyDataDir(const std::string& familyName);

std::string JoinPath(const std::string& a, const std::string& b);
bool FileExists(const std::string& path);
bool DirExists(const std::string& path);
// Creates the folder and its missing parents, readable by the user only unless told
// otherwise. True when it exists afterwards.
bool MakeDirs(const std::string& path, mode_t mode = 0700);

} // namespace talyx
