#pragma once

#include "app/ProgramOptions.h"

namespace talyx {

// The program from start to end: fonts, the single-instance rule, the skin, the control
// classes and messages, the main window, the message loop and the shutdown. Returns
// the process exit code (0 also when another copy already runs). With
// options.background the window stays hidden until it is asked for, and a copy that
// finds another one running ends without bringing it forward.
//
// Environment (for scripts and tests, not for users):
//   TALYX_SCREENSHOT=path   once the window is up, save it as a PNG there and quit
//   TALYX_SCREENSHOT_DELAY_MS=n  how long after start (default 1500 ms)
//   TALYX_SCREENSHOT_CLICKS=a,b  click these controls first (the picture follows 800 ms later)
//   TALYX_START_FUNCTION=n  the keyboard page opens on function n (0 keys, 1 lighting, 2 macros, 3 settings)
//   TALYX_DATA_DIR=dir      program data folder (skin, DefaultData, Font, lang)
//   TALYX_EXIT_WHEN_SHOWN=1 quit once the main window has been painted (start-up timing)
//   TALYX_MINIMISE_AFTER_MS=n, TALYX_SYNCHRONISE_AFTER_MS=n  minimise the window, or give
//                           every device the first keyboard's lighting, n ms after start (benchmarks)
int RunApplication(int argc, char** argv, const ProgramOptions& options = {});

} // namespace talyx
