#include "tests/install/UdevRuleCheck.h"

#include <map>
#include <regex>
#include <sstream>

namespace talyx {
namespace {

enum KeyUse { kMatch = 1, kAssign = 2, kBoth = 3 };

const std::map<std::string, int>& keys() {
    static const std::map<std::string, int> k = {
        {"ACTION", kMatch},     {"DEVPATH", kMatch}, {"KERNEL", kMatch},  {"KERNELS", kMatch},   {"SUBSYSTEM", kMatch},
        {"SUBSYSTEMS", kMatch}, {"DRIVER", kMatch},  {"DRIVERS", kMatch}, {"ATTRS", kMatch},     {"TAGS", kMatch},
        {"CONST", kMatch},      {"TEST", kMatch},    {"PROGRAM", kMatch}, {"RESULT", kMatch},    {"NAME", kBoth},
        {"SYMLINK", kBoth},     {"ATTR", kBoth},     {"ENV", kBoth},      {"TAG", kBoth},        {"SYSCTL", kBoth},
        {"OWNER", kAssign},     {"GROUP", kAssign},  {"MODE", kAssign},   {"SECLABEL", kAssign}, {"RUN", kAssign},
        {"LABEL", kAssign},     {"GOTO", kAssign},   {"IMPORT", kAssign}, {"OPTIONS", kAssign},
    };
    return k;
}

struct Pair {
    std::string key;
    std::string attribute;
    std::string op;
    std::string value;
};

} // namespace

UdevRuleCheck CheckUdevRules(const std::string& text) {
    UdevRuleCheck check;
    static const std::regex pairRe(
        R"re(^\s*([A-Z]+)(\{([^}"]*)\})?\s*(==|!=|\+=|-=|:=|=)\s*"((?:[^"\\]|\\.)*)"\s*(,|$))re");
    static const std::regex vendorRe("^[0-9a-f]{4}$");
    std::stringstream lines(text);
    std::string line;
    std::string rule;
    int number = 0;
    int first = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (rule.empty())
            first = number;
        if (!line.empty() && line.back() == '\\') {
            rule += line.substr(0, line.size() - 1);
            continue;
        }
        rule += line;
        const std::string at = "line " + std::to_string(first) + ": ";
        const size_t start = rule.find_first_not_of(" \t");
        if (start == std::string::npos || rule[start] == '#') {
            rule.clear();
            continue;
        }
        std::vector<Pair> pairs;
        std::string rest = rule.substr(start);
        std::smatch m;
        bool broken = false;
        while (!rest.empty() && rest.find_first_not_of(" \t") != std::string::npos) {
            if (!std::regex_search(rest, m, pairRe)) {
                check.errors.push_back(at + "not key, operator, quoted value: " + rest);
                broken = true;
                break;
            }
            pairs.push_back({m[1], m[3], m[4], m[5]});
            rest = m.suffix();
            if (m[6].length() == 0 && !rest.empty() && rest.find_first_not_of(" \t") != std::string::npos) {
                check.errors.push_back(at + "not key, operator, quoted value: " + rest);
                broken = true;
                break;
            }
        }
        rule.clear();
        if (broken)
            continue;
        bool hidraw = false;
        bool access = false;
        std::vector<int> vendors;
        for (const Pair& p : pairs) {
            const auto key = keys().find(p.key);
            if (key == keys().end()) {
                check.errors.push_back(at + "unknown key " + p.key);
                continue;
            }
            const bool match = p.op == "==" || p.op == "!=";
            if (!match && !(key->second & kAssign))
                check.errors.push_back(at + p.key + p.op + " assigns to a match key");
            if (match && !(key->second & kMatch))
                check.errors.push_back(at + p.key + p.op + " compares an assignment key");
            if (p.key == "SUBSYSTEM" && p.op == "==" && p.value == "hidraw")
                hidraw = true;
            if (p.key == "TAG" && (p.op == "+=" || p.op == "=") && p.value == "uaccess")
                access = true;
            if (p.key == "ATTRS" && (p.attribute == "idVendor" || p.attribute == "idProduct") && p.op == "==") {
                if (!std::regex_match(p.value, vendorRe))
                    check.errors.push_back(at + p.attribute + " \"" + p.value +
                                           "\" is not four lower-case hex digits, as sysfs writes it");
                else if (p.attribute == "idVendor")
                    vendors.push_back(std::stoi(p.value, nullptr, 16));
            }
        }
        if (!access)
            continue;
        if (!hidraw)
            check.errors.push_back(at + "a rule that gives seat access must match SUBSYSTEM==\"hidraw\"");
        if (vendors.empty())
            check.errors.push_back(at + "a rule that gives seat access must match ATTRS{idVendor}");
        check.accessVendors.insert(check.accessVendors.end(), vendors.begin(), vendors.end());
    }
    if (!rule.empty())
        check.errors.push_back("line " + std::to_string(first) + ": the file ends in a continued line");
    return check;
}

} // namespace talyx
