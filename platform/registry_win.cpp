// The device store on Windows: the local machine's registry, read with the wide calls.
#include "platform/registry.h"
#include "platform/winpath.h"

#include <windows.h>

namespace qarn3 {

namespace {

// The key opened for reading, closed with the object.
class Key {
public:
    explicit Key(const std::string& path) {
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, widePath(path).c_str(), 0, KEY_READ, &m_key) !=
            ERROR_SUCCESS)
            m_key = nullptr;
    }
    ~Key() {
        if (m_key) ::RegCloseKey(m_key);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

} // namespace

bool WindowsRegistry::keyExists(const std::string& key) const {
    return Key(key).get() != nullptr;
}

std::optional<std::string> WindowsRegistry::stringValue(const std::string& key,
                                                        const std::string& name) const {
    const Key k(key);
    if (!k.get()) return std::nullopt;
    const std::wstring value = widePath(name);
    DWORD type = 0, bytes = 0;
    if (::RegQueryValueExW(k.get(), value.c_str(), nullptr, &type, nullptr, &bytes) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    std::wstring data(bytes / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(k.get(), value.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(data.data()), &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    data.resize(bytes / sizeof(wchar_t));
    while (!data.empty() && data.back() == L'\0')
        data.pop_back();
    return narrowPath(data);
}

std::vector<std::string> WindowsRegistry::subkeyNames(const std::string& key) const {
    std::vector<std::string> out;
    const Key k(key);
    if (!k.get()) return out;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (::RegEnumKeyExW(k.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        out.push_back(narrowPath(std::wstring(name, length)));
    }
    return out;
}

std::vector<std::string> WindowsRegistry::valueNames(const std::string& key) const {
    std::vector<std::string> out;
    const Key k(key);
    if (!k.get()) return out;
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD length = 16384;
        if (::RegEnumValueW(k.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        out.push_back(narrowPath(std::wstring(name, length)));
    }
    return out;
}

} // namespace qarn3
