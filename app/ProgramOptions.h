#pragma once

#include <functional>
#include <iosfwd>
#include <string>

namespace talyx {

// The command line of talyx:
//   --background    start without showing the window; devices are found and their
//                   profiles applied as usual, and the tray icon (where the desktop has
//                   a tray) or a plain second start brings the window up
//   -h, --help      usage on standard output, exit 0
//   --version       version on standard output, exit 0
// Qt's own options (-platform NAME, -display NAME, -session ID, ...) are passed on to Qt;
// anything else is a usage error (exit 2). Nothing here needs a display.
struct ProgramOptions {
    enum class Action { Run, Help, Version, UsageError };
    Action action = Action::Run;
    bool background = false;
    // Qt was given a platform on the command line (-platform NAME).
    bool platformGiven = false;
    // For a usage error: what was wrong, e.g. "unknown option '--bogus'".
    std::string error;
};

ProgramOptions ParseProgramOptions(int argc, const char* const* argv);

std::string ProgramUsage();
std::string ProgramVersionLine();

// Exit codes of the program besides 0.
inline constexpr int kExitNoDisplay = 1;
inline constexpr int kExitUsage = 2;

// Whether Qt can be told where to draw: QT_QPA_PLATFORM, DISPLAY or WAYLAND_DISPLAY set
// to something, or a platform named on the command line. `getEnv` reads the environment
// (getenv in the program, a table in tests).
bool DisplayNamed(const ProgramOptions& options, const std::function<const char*(const char*)>& getEnv);

// What the program says when it has no display to open a window on; `why` tells what is
// missing, e.g. "neither DISPLAY nor WAYLAND_DISPLAY is set".
std::string NoDisplayMessage(const std::string& why);

// Everything that ends before the window: help, version, usage errors and a missing
// display, written to `out` or `err`. Returns the exit code, or -1 when the program
// goes on to start.
int AnswerWithoutWindow(const ProgramOptions& options, std::ostream& out, std::ostream& err);

} // namespace talyx
