#include "app/ProgramOptions.h"

#include <cstdlib>
#include <cstring>
#include <ostream>

#include "online/UpdateTable.h"
#include "platform/Product.h"

namespace talyx {
namespace {

// Qt's own options, written with one dash or two, as Qt takes them; those with takesValue
// take the next argument as their value. A session manager restarts the program with
// -session ID, so these must get through.
struct QtOption {
    const char* name;
    bool takesValue;
};
constexpr QtOption kQtOptions[] = {
    {"platform", true},        {"platformpluginpath", true},
    {"platformtheme", true},   {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true},
    {"qwindowtitle", true},    {"session", true},
    {"display", true},         {"name", true},
    {"geometry", true},        {"style", true},
    {"stylesheet", true},      {"reverse", false},
    {"widgetcount", false},    {"nograb", false},
    {"dograb", false},         {"sync", false},
};

const QtOption* findQtOption(const char* arg) {
    if (arg[0] != '-')
        return nullptr;
    const char* name = arg[1] == '-' ? arg + 2 : arg + 1;
    for (const QtOption& option : kQtOptions)
        if (std::strcmp(name, option.name) == 0)
            return &option;
    return nullptr;
}

ProgramOptions usageError(std::string error) {
    ProgramOptions options;
    options.action = ProgramOptions::Action::UsageError;
    options.error = std::move(error);
    return options;
}

} // namespace

ProgramOptions ParseProgramOptions(int argc, const char* const* argv) {
    ProgramOptions options;
    bool help = false;
    bool version = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--background") == 0) {
            options.background = true;
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            help = true;
        } else if (std::strcmp(arg, "--version") == 0) {
            version = true;
        } else if (const QtOption* qt = findQtOption(arg)) {
            if (qt->takesValue) {
                if (i + 1 >= argc)
                    return usageError(std::string("option '") + arg + "' needs a value");
                ++i;
            }
            if (std::strcmp(qt->name, "platform") == 0)
                options.platformGiven = true;
        } else if (arg[0] == '-') {
            return usageError(std::string("unknown option '") + arg + "'");
        } else {
            return usageError(std::string("unexpected argument '") + arg + "'");
        }
    }
    if (help)
        options.action = ProgramOptions::Action::Help;
    else if (version)
        options.action = ProgramOptions::Action::Version;
    return options;
}

std::string ProgramUsage() {
    return std::string("Usage: talyx [--background]\n"
                       "       talyx --help | --version\n"
                       "\n"
                       "Configures the ") +
           kProductTitle +
           " and its mouse, mouse pad and headset.\n"
           "\n"
           "  --background  start without showing the window: the devices are found and\n"
           "                their profiles applied; the tray icon shows the window\n"
           "  -h, --help    show this help and exit\n"
           "  --version     show the version and exit\n"
           "\n"
           "One copy runs per session: a plain second start brings the running window\n"
           "forward, a second start with --background leaves it as it is. Qt's own\n"
           "options (-platform NAME, ...) are passed on to Qt.\n";
}

std::string ProgramVersionLine() {
    return std::string("talyx ") + ProgramVersion() + "\n";
}

bool DisplayNamed(const ProgramOptions& options, const std::function<const char*(const char*)>& getEnv) {
    if (options.platformGiven)
        return true;
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = getEnv(name);
        if (value && *value)
            return true;
    }
    return false;
}

std::string NoDisplayMessage(const std::string& why) {
    return "talyx: no display to open the window on: " + why +
           ".\nStart it from a desktop session, or set QT_QPA_PLATFORM=offscreen to run it without a display.\n";
}

int AnswerWithoutWindow(const ProgramOptions& options, std::ostream& out, std::ostream& err) {
    switch (options.action) {
    case ProgramOptions::Action::Help:
        out << ProgramUsage();
        return 0;
    case ProgramOptions::Action::Version:
        out << ProgramVersionLine();
        return 0;
    case ProgramOptions::Action::UsageError:
        err << "talyx: " << options.error << "\n\n" << ProgramUsage();
        return kExitUsage;
    case ProgramOptions::Action::Run:
        break;
    }
    if (!DisplayNamed(options, [](const char* name) { return std::getenv(name); })) {
        err << NoDisplayMessage("neither DISPLAY nor WAYLAND_DISPLAY is set");
        return kExitNoDisplay;
    }
    return -1;
}

} // namespace talyx
