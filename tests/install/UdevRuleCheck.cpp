#include "tests/install/UdevRuleCheck.h"

#include <regex>
#include <set>
#include <sstream>

namespace talyx {
namespace {

// Keys only matched, and keys that may also be assigned (udev(7)).
const std::set<std::string> kMatchKeys = {"ACTION",     "DEVPATH", "KERNEL",  "KERNELS", "SUBSYSTEM",
                                          "SUBSYSTEMS", "DRIVER",  "DRIVERS", "ATTRS",   "TAGS",
                                          "CONST",      "TEST",    "PROGRAM", "RESULT"};
const std::set<std::string> kAssignKeys = {"NAME", "SYMLINK",  "ATTR", "ENV",   "TAG",  "SYSCTL", "OWNER",  "GROUP",
                                           "MODE", "SECLABEL", "RUN",  "LABEL", "GOTO", "IMPORT", "OPTIONS"};

} // namespace

UdevRuleCheck CheckUdevRules(const std::string& text) {
    UdevRuleCheck check;
    static const std::regex pairRe(
        R"re(^\s*([A-Z]+)(\{([^}"]*)\})?\s*(==|!=|\+=|-=|:=|=)\s*"((?:[^"\\]|\\.)*)"\s*(,|$))re");
    static const std::regex idRe("^[0-9a-f]{4}$");
    std::stringstream lines(text);
    std::string line;
    std::string rule;
    int number = 0;
    int first = 0;
    while (std::getline(lines, line)) {
        if (rule.empty())
            first = number + 1;
        ++number;
        const bool continued = !line.empty() && line.back() == '\\';
        rule += continued ? line.substr(0, line.size() - 1) : line;
        if (continued)
            continue;
        const std::string at = "line " + std::to_string(first) + ": ";
        std::string rest = rule;
        rule.clear();
        const size_t start = rest.find_first_not_of(" \t");
        if (start == std::string::npos || rest[start] == '#')
            continue;
        bool hidraw = false;
        bool access = false;
        int vendor = -1;
        int product = -1;
        std::smatch m;
        while (rest.find_first_not_of(" \t") != std::string::npos) {
            if (!std::regex_search(rest, m, pairRe) ||
                (m[6].length() == 0 && m.suffix().str().find_first_not_of(" \t") != std::string::npos)) {
                check.errors.push_back(at + "not key, operator, quoted value: " + rest);
                break;
            }
            const std::string key = m[1], attribute = m[3], op = m[4], value = m[5];
            rest = m.suffix();
            const bool match = op == "==" || op == "!=";
            if (!kMatchKeys.count(key) && !kAssignKeys.count(key))
                check.errors.push_back(at + "unknown key " + key);
            else if (!match && !kAssignKeys.count(key))
                check.errors.push_back(at + key + op + " assigns to a match key");
            hidraw = hidraw || (key == "SUBSYSTEM" && op == "==" && value == "hidraw");
            access = access || (key == "TAG" && (op == "+=" || op == "=") && value == "uaccess");
            if (key == "ATTRS" && (attribute == "idVendor" || attribute == "idProduct") && op == "==") {
                if (!std::regex_match(value, idRe))
                    check.errors.push_back(at + attribute + " \"" + value +
                                           "\" is not four lower-case hex digits, as sysfs writes it");
                else
                    (attribute == "idVendor" ? vendor : product) = std::stoi(value, nullptr, 16);
            }
        }
        if (access && !hidraw)
            check.errors.push_back(at + "a rule that gives seat access must match SUBSYSTEM==\"hidraw\"");
        if (access && vendor < 0)
            check.errors.push_back(at + "a rule that gives seat access must match ATTRS{idVendor}");
        else if (access)
            check.accessDevices.emplace_back(vendor, product);
    }
    return check;
}

} // namespace talyx
