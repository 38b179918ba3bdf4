#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qarn3 {

// Key paths of the device store the analyzer's drivers describe it in, under the local
// machine's root, with '\' between the parts.
constexpr const char* kUsbEnumKey = "SYSTEM\\CurrentControlSet\\Enum\\USB";
constexpr const char* kSerialCommKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// A read-only view of that store: keys hold string values and subkeys. Keys and value names
// are matched without regard to case, as the store does; names come back as they were stored.
class RegistryView {
public:
    virtual ~RegistryView() = default;
    virtual bool keyExists(const std::string& key) const = 0;
    // The string value name of key; nothing when the key or the value is missing.
    virtual std::optional<std::string> stringValue(const std::string& key,
                                                   const std::string& name) const = 0;
    virtual std::vector<std::string> subkeyNames(const std::string& key) const = 0;
    virtual std::vector<std::string> valueNames(const std::string& key) const = 0;
};

// A store held in memory: what the sysfs view builds, and what tests fill by hand.
class MemoryRegistry : public RegistryView {
public:
    // Sets a value, creating the key and its parents.
    void setValue(const std::string& key, const std::string& name, const std::string& data);
    // Creates a key (and its parents) without values.
    void addKey(const std::string& key);

    bool keyExists(const std::string& key) const override;
    std::optional<std::string> stringValue(const std::string& key,
                                           const std::string& name) const override;
    std::vector<std::string> subkeyNames(const std::string& key) const override;
    std::vector<std::string> valueNames(const std::string& key) const override;

private:
    struct Key {
        std::string name;
        std::map<std::string, std::pair<std::string, std::string>> values; // folded name
        std::map<std::string, Key> subkeys;                                // folded name
    };
    const Key* find(const std::string& path) const;
    Key m_root;
};

// The store as Linux describes the same devices, read from sysfs under root ("/" normally,
// a fake tree in tests) afresh at every question, since devices come and go:
// - "SYSTEM\CurrentControlSet\Enum\USB\Vid_vvvv&Pid_pppp\<serial>" for each USB device (the
//   instance is the device's sysfs name when it has no serial number), with "Class" ("Ports"
//   when it has a serial port, else "USB"), "Service" (the interface's driver),
//   "FriendlyName" (the product string, followed by " (" + port + ")" when it has a serial
//   port) and, with a serial port, the subkey "Device Parameters" with "PortName";
// - "HARDWARE\DEVICEMAP\SERIALCOMM" with one value per serial port present ("\Device\ttyACM0"
//   holding its device path).
// Ports are device paths: "/dev/" + name, or root + "/dev/" + name under a fake root, where a
// test may put a link to a pseudo-terminal.
class SysfsRegistry : public RegistryView {
public:
    explicit SysfsRegistry(std::string root = "/");

    // The store as sysfs describes it now.
    MemoryRegistry snapshot() const;

    bool keyExists(const std::string& key) const override;
    std::optional<std::string> stringValue(const std::string& key,
                                           const std::string& name) const override;
    std::vector<std::string> subkeyNames(const std::string& key) const override;
    std::vector<std::string> valueNames(const std::string& key) const override;

private:
    std::string devicePath(const std::string& ttyName) const;
    std::string m_root;
};

#ifdef _WIN32
// The system's own store (HKEY_LOCAL_MACHINE), read-only.
class WindowsRegistry : public RegistryView {
public:
    bool keyExists(const std::string& key) const override;
    std::optional<std::string> stringValue(const std::string& key,
                                           const std::string& name) const override;
    std::vector<std::string> subkeyNames(const std::string& key) const override;
    std::vector<std::string> valueNames(const std::string& key) const override;
};
using SystemRegistry = WindowsRegistry;
#else
using SystemRegistry = SysfsRegistry;
#endif

} // namespace qarn3
