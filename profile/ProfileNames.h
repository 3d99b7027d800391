#pragma once

#include <string>
#include <vector>

// Profile names as the profile list compares and makes them. Names are UTF-8.
namespace talyx {

// Equal without regard to case. Letters of the Latin, Greek and Cyrillic alphabets
// compare case-blind ("Profile1", "PROFILE1", "ÉQUIPE" and "équipe"); other characters,
// and text that is not valid UTF-8, compare byte for byte.
bool SameNameIgnoringCase(const std::string& a, const std::string& b);

// Index of the first name in `names` equal to `name` without regard to case, or -1.
int FindNameIgnoringCase(const std::vector<std::string>& names, const std::string& name, int skipIndex = -1);

// The text without blanks (spaces, tabs, line breaks) at either end.
std::string TrimBlanks(const std::string& text);

// The file name of a path without its folder and without its last extension:
// "/home/u/Game.json" -> "Game", "a.b.json" -> "a.b", ".json" -> "".
std::string FileStemOf(const std::string& path);

} // namespace talyx
