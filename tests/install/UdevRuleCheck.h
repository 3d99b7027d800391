#pragma once

#include <string>
#include <utility>
#include <vector>

namespace talyx {

// A reading of a udev rules file as udev takes it, for systems whose udevadm cannot verify
// one: each rule a comma-separated list of KEY{attribute}OP"value", continued over lines
// that end in a backslash; match keys compared (==, !=), assignment keys assigned
// (=, +=, -=, :=). Rules that tag a node "uaccess" must match the hidraw subsystem and
// a vendor id as sysfs writes it (four lower-case hex digits).
struct UdevRuleCheck {
    std::vector<std::string> errors; // "line N: ..." in file order
    // (vendor id, product id) given seat access, in file order; the product is -1 for a
    // rule that takes every device of the vendor.
    std::vector<std::pair<int, int>> accessDevices;
};

UdevRuleCheck CheckUdevRules(const std::string& text);

} // namespace talyx
