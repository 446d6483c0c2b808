// The udev rule, read from packaging/ and applied to the devices of a few real USB serial devices by a
// small evaluator of the rule syntax it uses (udevadm test needs a live sysfs). Keys the evaluator does
// not know fail the test, so a later edit of the rule cannot slip past it.
#include <gtest/gtest.h>

#include <fnmatch.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A device of the sysfs tree: the event's device first, then its parents up to the root hub.
struct Device {
    std::string subsystem;
    std::string kernel;
    std::string driver;
    std::map<std::string, std::string> attrs;
};

struct Key {
    std::string name; // "ATTRS", "ENV", "TAG", ...
    std::string attr; // inside the braces
    std::string op;   // "==", "!=", "=", "+="
    std::string value;
};

struct Rule {
    int line = 0;
    std::vector<Key> keys;
};

std::vector<Rule> ReadRules(const std::string& path) {
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << path;
    std::vector<Rule> rules;
    static const std::regex key(
        R"re(\s*([A-Z_]+)(\{([^}]*)\})?\s*(==|!=|\+=|-=|:=|=)\s*"([^"]*)"\s*(,|$))re");
    std::string text;
    for (int n = 1; std::getline(in, text); ++n) {
        if (text.find_first_not_of(" \t") == std::string::npos ||
            text[text.find_first_not_of(" \t")] == '#') {
            continue;
        }
        Rule rule{n, {}};
        for (auto it = std::sregex_iterator(text.begin(), text.end(), key); it != std::sregex_iterator();
             ++it) {
            rule.keys.push_back({(*it)[1], (*it)[3], (*it)[4], (*it)[5]});
        }
        EXPECT_FALSE(rule.keys.empty()) << "line " << n << " does not read: " << text;
        rules.push_back(std::move(rule));
    }
    return rules;
}

// A udev match value: shell patterns separated by '|'.
bool Matches(const std::string& pattern, const std::string& value) {
    std::stringstream alternatives(pattern);
    std::string one;
    while (std::getline(alternatives, one, '|')) {
        if (::fnmatch(one.c_str(), value.c_str(), 0) == 0) {
            return true;
        }
    }
    return false;
}

bool IsParentKey(const std::string& name) {
    return name == "SUBSYSTEMS" || name == "KERNELS" || name == "DRIVERS" || name == "ATTRS";
}

// The parent keys of a rule all match on one and the same device of the chain, as udev has it.
bool ParentKeysMatch(const std::vector<Key>& keys, const std::vector<Device>& chain) {
    for (const Device& d : chain) {
        bool all = true;
        for (const Key& k : keys) {
            if (!IsParentKey(k.name)) {
                continue;
            }
            const std::string have = k.name == "SUBSYSTEMS"  ? d.subsystem
                                     : k.name == "KERNELS"   ? d.kernel
                                     : k.name == "DRIVERS"   ? d.driver
                                     : d.attrs.count(k.attr) ? d.attrs.at(k.attr)
                                                             : std::string("\x01none");
            all = all && have != "\x01none" && Matches(k.value, have);
        }
        if (all) {
            return true;
        }
    }
    return false;
}

struct Outcome {
    std::set<std::string> tags;
    std::map<std::string, std::string> env;
};

Outcome Apply(const std::vector<Rule>& rules, const std::string& action, const std::vector<Device>& chain) {
    Outcome out;
    const Device& self = chain.front();
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const Rule& rule = rules[i];
        if (rule.keys.size() == 1 && rule.keys[0].name == "LABEL") {
            continue;
        }
        bool match = true;
        bool hasParentKeys = false;
        for (const Key& k : rule.keys) {
            const bool eq = k.op == "==";
            if (k.op != "==" && k.op != "!=") {
                continue; // an assignment, below
            }
            if (IsParentKey(k.name)) {
                EXPECT_TRUE(eq) << "line " << rule.line << ": " << k.name << k.op << " is not evaluated here";
                hasParentKeys = true;
                continue;
            }
            std::string have;
            if (k.name == "ACTION") {
                have = action;
            } else if (k.name == "SUBSYSTEM") {
                have = self.subsystem;
            } else if (k.name == "KERNEL") {
                have = self.kernel;
            } else if (k.name == "DRIVER") {
                have = self.driver;
            } else if (k.name == "ENV") {
                have = out.env.count(k.attr) ? out.env.at(k.attr) : std::string();
            } else {
                ADD_FAILURE() << "line " << rule.line << ": the key " << k.name << " is not evaluated here";
            }
            match = match && Matches(k.value, have) == eq;
        }
        if (hasParentKeys) {
            match = match && ParentKeysMatch(rule.keys, chain);
        }
        if (!match) {
            continue;
        }
        for (const Key& k : rule.keys) {
            if (k.name == "TAG" && k.op == "+=") {
                out.tags.insert(k.value);
            } else if (k.name == "ENV" && k.op == "=") {
                out.env[k.attr] = k.value;
            } else if (k.name == "GOTO") {
                std::size_t to = i + 1;
                while (to < rules.size() &&
                       !(rules[to].keys.size() == 1 && rules[to].keys[0].name == "LABEL" &&
                         rules[to].keys[0].value == k.value)) {
                    ++to;
                }
                EXPECT_LT(to, rules.size()) << "line " << rule.line << ": no label " << k.value;
                i = to;
            } else if (k.op != "==" && k.op != "!=") {
                ADD_FAILURE() << "line " << rule.line << ": " << k.name << k.op << " is not evaluated here";
            }
        }
    }
    return out;
}

// A USB device (vendor:product) and its first interface bound to driver.
std::vector<Device> UsbParents(const std::string& vendor, const std::string& product,
                               const std::string& driver) {
    return {
        {"usb", "1-2:1.0", driver, {{"bInterfaceNumber", "00"}}},
        {"usb", "1-2", "usb", {{"idVendor", vendor}, {"idProduct", product}, {"busnum", "1"}}},
        {"usb", "usb1", "usb", {{"idVendor", "1d6b"}, {"idProduct", "0002"}}}, // the root hub
    };
}

// The tty of a USB serial converter (ttyUSB*, below its usb-serial port) or of a cdc_acm device (ttyACM*).
std::vector<Device> Tty(const std::string& kernel, const std::string& vendor, const std::string& product,
                        const std::string& driver) {
    std::vector<Device> chain{{"tty", kernel, "", {{"dev", "188:0"}}}};
    if (kernel.rfind("ttyUSB", 0) == 0) {
        chain.push_back({"usb-serial", kernel, driver, {{"port_number", "0"}}});
    }
    for (Device& d : UsbParents(vendor, product, driver)) {
        chain.push_back(std::move(d));
    }
    return chain;
}

TEST(UdevRule, GivesTheSeatUserOnlyTheNamedAdapterChips) {
    const std::vector<Rule> rules = ReadRules(KAVO_UDEV_RULE);
    ASSERT_FALSE(rules.empty());
    struct Case {
        const char* what;
        std::vector<Device> chain;
        const char* action;
        bool uaccess;
        bool modemManagerIgnores;
    };
    const Case cases[] = {
        {"FTDI FT232R", Tty("ttyUSB0", "0403", "6001", "ftdi_sio"), "add", true, true},
        {"FTDI FT-X", Tty("ttyUSB1", "0403", "6015", "ftdi_sio"), "add", true, true},
        {"FTDI FT232R, bind", Tty("ttyUSB0", "0403", "6001", "ftdi_sio"), "bind", true, true},
        {"CP2102", Tty("ttyUSB0", "10c4", "ea60", "cp210x"), "add", true, true},
        {"CH340", Tty("ttyUSB0", "1a86", "7523", "ch341"), "add", true, true},
        {"PL2303", Tty("ttyUSB0", "067b", "2303", "pl2303"), "add", true, true},
        {"PL2303GT", Tty("ttyUSB0", "067b", "23c3", "pl2303"), "add", true, true},
        // A board of its own under FTDI's vendor id: no modem, but not one of the chips either.
        {"FTDI vendor, product of a board", Tty("ttyUSB0", "0403", "fd48", "ftdi_sio"), "add", false, true},
        {"Sierra Wireless EM7455 modem", Tty("ttyUSB2", "1199", "9071", "qcserial"), "add", false, false},
        {"Quectel EC25 modem", Tty("ttyUSB2", "2c7c", "0125", "option"), "add", false, false},
        {"Silicon Labs vendor, other product", Tty("ttyUSB0", "10c4", "8a2a", "cp210x"), "add", false, false},
        {"u-blox GPS receiver", Tty("ttyACM0", "1546", "01a7", "cdc_acm"), "add", false, false},
        {"3D printer", Tty("ttyACM0", "2c99", "0002", "cdc_acm"), "add", false, false},
        {"FTDI FT232R, removed", Tty("ttyUSB0", "0403", "6001", "ftdi_sio"), "remove", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome out = Apply(rules, c.action, c.chain);
        EXPECT_EQ(out.tags.count("uaccess") == 1, c.uaccess);
        EXPECT_EQ(out.env.count("ID_MM_DEVICE_IGNORE") == 1, c.modemManagerIgnores);

        // The USB device itself: ModemManager looks there too; a seat tag has no business on it.
        std::vector<Device> usb(c.chain.end() - 2, c.chain.end());
        const Outcome device = Apply(rules, c.action, usb);
        EXPECT_TRUE(device.tags.empty());
        EXPECT_EQ(device.env.count("ID_MM_DEVICE_IGNORE") == 1, c.modemManagerIgnores);
    }
}

} // namespace
