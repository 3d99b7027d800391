#pragma once

#include <string>

namespace talyx {

// Folder of the running executable (no trailing slash).
std::string ExecutableDir();

// Where "skin", "DefaultData", "Font" and "lang" live: $TALYX_DATA_DIR when set, else
// beside the executable when a "skin" folder is there (a build tree), else the install
// prefix's share/talyx folder.
std::string ProgramDataDir();

// $XDG_DATA_HOME, or ~/.local/share.
std::string UserDataRoot();
// $XDG_CONFIG_HOME, or ~/.config.
std::string UserConfigRoot();
// $XDG_RUNTIME_DIR, or the temporary folder.
std::string RuntimeDir();
// $TMPDIR, or /tmp.
std::string TempDir();

// The per-user folder of the product (created when missing):
// UserDataRoot()/TALYX RGB Gaming keyboard
std::string ProductDataDir();
// The per-user folder of a device family, e.g. ".../TALYX RGB Gaming keyboard/keyboard" (created).
std::string FamilyDataDir(const std::string& familyName);

std::string JoinPath(const std::string& a, const std::string& b);
bool FileExists(const std::string& path);
bool DirExists(const std::string& path);
// Creates the folder and its missing parents. True when it exists afterwards.
bool MakeDirs(const std::string& path);

} // namespace talyx
