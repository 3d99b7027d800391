#pragma once

#include <string>

namespace talyx {

// "Start with the desktop session": the user's XDG autostart entry of the program,
// $XDG_CONFIG_HOME/autostart/talyx.desktop, which the session runs at login as
// "talyx --background". Plain files only; nothing here needs a display or a bus.

// The entry's path; empty when the user has no configuration folder.
std::string AutostartEntryPath();

// True when the entry exists and is not switched off: an entry may be kept but
// disabled with Hidden=true (the XDG rule) or X-GNOME-Autostart-enabled=false (what a
// desktop's own start-up settings write).
bool IsAutostartEnabled();

// Writes the entry (atomically: a crash leaves the old one or the new one) or removes
// it. A missing entry is already removed. False, with the reason in *error when given,
// when the folder or the file cannot be made or removed; nothing half-written stays.
bool SetAutostartEnabled(bool enabled, std::string* error = nullptr);

// The command of the entry for the program at `programPath`: "talyx --background" when
// the search path finds that very program as "talyx", else its full path (quoted as the
// desktop entry format wants when it holds spaces or other reserved characters).
std::string AutostartCommand(const std::string& programPath);

// The whole entry with that command.
std::string AutostartEntryText(const std::string& command);

} // namespace talyx
