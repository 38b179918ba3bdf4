#include "platform/registry.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

namespace qarn3 {

namespace fs = std::filesystem;

namespace {

std::string folded(const std::string& s) {
    std::string f = s;
    for (char& c : f)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return f;
}

// The parts of a key path, without empty parts (so leading, trailing and doubled '\' are
// harmless).
std::vector<std::string> splitKey(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

// First line of a sysfs attribute, without its line end; empty when missing.
std::string attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (in) std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

std::vector<fs::path> children(const fs::path& dir) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        out.push_back(it->path());
    std::sort(out.begin(), out.end());
    return out;
}

bool isDir(const fs::path& p) {
    std::error_code ec;
    return fs::is_directory(p, ec);
}

// The serial ports an interface provides: "tty/<name>" (modem class) or "<ttyName>/" (serial
// converters).
std::vector<std::string> interfaceTtys(const fs::path& intf) {
    std::vector<std::string> names;
    for (const fs::path& child : children(intf)) {
        const std::string n = child.filename().string();
        if (n == "tty") {
            for (const fs::path& t : children(child))
                names.push_back(t.filename().string());
        } else if (n.rfind("tty", 0) == 0 && isDir(child)) {
            names.push_back(n);
        }
    }
    return names;
}

std::string driverName(const fs::path& dir) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(dir / "driver", ec);
    return ec ? std::string() : target.filename().string();
}

} // namespace

// --- MemoryRegistry ---

void MemoryRegistry::addKey(const std::string& key) {
    Key* k = &m_root;
    for (const std::string& part : splitKey(key)) {
        Key& sub = k->subkeys[folded(part)];
        if (sub.name.empty()) sub.name = part;
        k = &sub;
    }
}

void MemoryRegistry::setValue(const std::string& key, const std::string& name,
                              const std::string& data) {
    addKey(key);
    Key* k = &m_root;
    for (const std::string& part : splitKey(key))
        k = &k->subkeys[folded(part)];
    k->values[folded(name)] = {name, data};
}

const MemoryRegistry::Key* MemoryRegistry::find(const std::string& path) const {
    const Key* k = &m_root;
    for (const std::string& part : splitKey(path)) {
        const auto it = k->subkeys.find(folded(part));
        if (it == k->subkeys.end()) return nullptr;
        k = &it->second;
    }
    return k;
}

bool MemoryRegistry::keyExists(const std::string& key) const {
    return find(key) != nullptr;
}

std::optional<std::string> MemoryRegistry::stringValue(const std::string& key,
                                                       const std::string& name) const {
    const Key* k = find(key);
    if (!k) return std::nullopt;
    const auto it = k->values.find(folded(name));
    if (it == k->values.end()) return std::nullopt;
    return it->second.second;
}

std::vector<std::string> MemoryRegistry::subkeyNames(const std::string& key) const {
    std::vector<std::string> names;
    if (const Key* k = find(key))
        for (const auto& [f, sub] : k->subkeys)
            names.push_back(sub.name);
    return names;
}

std::vector<std::string> MemoryRegistry::valueNames(const std::string& key) const {
    std::vector<std::string> names;
    if (const Key* k = find(key))
        for (const auto& [f, v] : k->values)
            names.push_back(v.first);
    return names;
}

// --- SysfsRegistry ---

namespace {
// The root without trailing '/', or "/" itself. Built as a new string rather than assigned:
// g++ 12 at -O3 warns falsely (-Wrestrict) on assigning a literal to a string here.
std::string normalRoot(const std::string& root) {
    const std::size_t last = root.find_last_not_of('/');
    if (last == std::string::npos) return std::string(1, '/');
    return root.substr(0, last + 1);
}
} // namespace

SysfsRegistry::SysfsRegistry(std::string root) : m_root(normalRoot(root)) {}

std::string SysfsRegistry::devicePath(const std::string& ttyName) const {
    return (m_root == "/" ? std::string() : m_root) + "/dev/" + ttyName;
}

MemoryRegistry SysfsRegistry::snapshot() const {
    MemoryRegistry reg;
    const fs::path root(m_root);
    std::set<std::string> ports;

    for (const fs::path& dev : children(root / "sys/bus/usb/devices")) {
        const std::string vendor = attribute(dev / "idVendor");
        const std::string product = attribute(dev / "idProduct");
        if (vendor.empty() || product.empty()) continue; // an interface, not a device
        const std::string devName = dev.filename().string();
        std::string instance = attribute(dev / "serial");
        if (instance.empty()) instance = devName;
        const std::string key = std::string(kUsbEnumKey) + "\\Vid_" + folded(vendor) + "&Pid_" +
                                folded(product) + "\\" + instance;

        std::string tty, service;
        for (const fs::path& intf : children(dev)) {
            if (intf.filename().string().rfind(devName + ":", 0) != 0) continue;
            const std::vector<std::string> ttys = interfaceTtys(intf);
            if (tty.empty() && !ttys.empty()) {
                tty = ttys.front();
                service = driverName(intf);
            }
            if (service.empty()) service = driverName(intf);
        }
        if (service.empty()) service = driverName(dev);

        const std::string productName = attribute(dev / "product");
        reg.setValue(key, "Class", tty.empty() ? "USB" : "Ports");
        reg.setValue(key, "Service", service);
        if (tty.empty()) {
            reg.setValue(key, "FriendlyName", productName);
        } else {
            const std::string port = devicePath(tty);
            reg.setValue(key, "FriendlyName", productName + " (" + port + ")");
            reg.setValue(key + "\\Device Parameters", "PortName", port);
            ports.insert(tty);
        }
    }

    // Serial ports with hardware behind them; the built-in UART names exist whether or not a
    // UART does, and those without one have type 0.
    for (const fs::path& t : children(root / "sys/class/tty")) {
        const std::string name = t.filename().string();
        std::error_code ec;
        if (!fs::exists(t / "device", ec)) continue;
        if (name.rfind("ttyS", 0) == 0) {
            const std::string type = attribute(t / "type");
            if (type.empty() || type == "0") continue;
        }
        ports.insert(name);
    }
    reg.addKey(kSerialCommKey);
    for (const std::string& name : ports)
        reg.setValue(kSerialCommKey, "\\Device\\" + name, devicePath(name));
    return reg;
}

bool SysfsRegistry::keyExists(const std::string& key) const {
    return snapshot().keyExists(key);
}

std::optional<std::string> SysfsRegistry::stringValue(const std::string& key,
                                                      const std::string& name) const {
    return snapshot().stringValue(key, name);
}

std::vector<std::string> SysfsRegistry::subkeyNames(const std::string& key) const {
    return snapshot().subkeyNames(key);
}

std::vector<std::string> SysfsRegistry::valueNames(const std::string& key) const {
    return snapshot().valueNames(key);
}

} // namespace qarn3
