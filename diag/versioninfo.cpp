#include "diag/versioninfo.h"
#include "platform/fspath.h"

#include <array>
#include <charconv>
#include <filesystem>

namespace qarn3 {

std::optional<FourPartVersion> parseVersion(const std::string& text) {
    std::array<int, 4> parts{};
    std::size_t count = 0;
    const char* p = text.data();
    const char* end = p + text.size();
    while (true) {
        if (count == parts.size() || p == end || *p < '0' || *p > '9') return std::nullopt;
        const auto [next, ec] = std::from_chars(p, end, parts[count]);
        if (ec != std::errc()) return std::nullopt;
        ++count;
        p = next;
        if (p == end) break;
        if (*p != '.') return std::nullopt;
        ++p;
    }
    return FourPartVersion{parts[0], parts[1], parts[2], parts[3]};
}

std::string versionText(const FourPartVersion& v) {
    return std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
           std::to_string(v.release) + "." + std::to_string(v.build);
}

std::string fourPartVersion(const std::string& projectVersion) {
    return versionText(parseVersion(projectVersion).value_or(FourPartVersion{}));
}

std::string FileVersionText(const std::string& path, const ModuleFacts& module) {
    if (path.empty() || module.path.empty()) return {};
    std::error_code ec;
    return std::filesystem::equivalent(fsPath(path), fsPath(module.path), ec) ? module.version
                                                                               : std::string();
}

namespace {

struct VersionName {
    FourPartVersion threshold;
    const char* name;
};

// Descending; the first row the version reaches names it.
constexpr std::array<VersionName, 14> kViewerNames{{
    {{5, 2, 3626, 0}, "1.4"},
    {{4, 74, 9273, 0}, "1.33"},
    {{4, 74, 8857, 0}, "1.32"},
    {{4, 74, 8793, 0}, "1.31"},
    {{4, 74, 8702, 0}, "1.3"},
    {{4, 73, 8561, 0}, "1.22"},
    {{4, 73, 8474, 0}, "1.21a"},
    {{4, 73, 8412, 0}, "1.21"},
    {{4, 73, 8252, 0}, "1.2"},
    {{4, 72, 8164, 0}, "1.1b"},
    {{4, 72, 7325, 0}, "1.1a"},
    {{4, 72, 7323, 0}, "1.1"},
    {{4, 72, 7290, 0}, "1.0"},
    {{0, 0, 0, 0}, "< 1.0"},
}};

// Public releases of the browser by the version of its shell document component. Old 4.x
// versions appear renumbered (4.70.0.1155 as 4.70.1155.0).
constexpr std::array<VersionName, 39> kBrowserNames{{
    {{6, 0, 3790, 0}, "Internet Explorer 6 (Windows Server 2003)"},
    {{6, 0, 3718, 0}, "Internet Explorer 6 (Windows Server 2003 RC2)"},
    {{6, 0, 3663, 0}, "Internet Explorer 6 (Windows Server 2003 RC1)"},
    {{6, 0, 2900, 2180}, "Internet Explorer 6 (Windows XP SP2)"},
    {{6, 0, 2800, 1106}, "Internet Explorer 6 SP1"},
    {{6, 0, 2715, 400}, "Internet Explorer 6 (Windows XP + minor update)"},
    {{6, 0, 2600, 0}, "Internet Explorer 6 (Windows XP)"},
    {{6, 0, 2479, 6}, "Internet Explorer 6 Public Preview (Beta) Refresh"},
    {{6, 0, 2462, 0}, "Internet Explorer 6 Public Preview (Beta)"},
    {{5, 50, 4807, 2300}, "Internet Explorer 5.5 Service Pack 2"},
    {{5, 50, 4522, 1800}, "Internet Explorer 5.5 Service Pack 1"},
    {{5, 50, 4308, 2900}, "Internet Explorer 5.5 Advanced Security Privacy Beta"},
    {{5, 50, 4134, 600}, "Internet Explorer 5.5"},
    {{5, 50, 4134, 100}, "Internet Explorer 5.5 for Windows Me (4.90.3000)"},
    {{5, 50, 4030, 2400}, "Internet Explorer 5.5 & Internet Tools Beta"},
    {{5, 50, 3825, 1300}, "Internet Explorer 5.5 Developer Preview"},
    {{5, 0, 2920, 0}, "Internet Explorer 5.01"},
    {{5, 0, 2919, 6307}, "Internet Explorer 5.01"},
    {{5, 0, 2919, 3800}, "Internet Explorer 5.01 (Windows 2000 RC2, build 5.00.2128)"},
    {{5, 0, 2919, 800}, "Internet Explorer 5.01 (Windows 2000 RC1, build 5.00.2072)"},
    {{5, 0, 2740, 1}, "Internet Explorer 5.0 updated"},
    {{5, 0, 2717, 2000}, "Internet Explorer 5.0 updated"},
    {{5, 0, 2614, 3500}, "Internet Explorer 5.0b"},
    {{5, 0, 2314, 1003}, "Internet Explorer 5.0a"},
    {{5, 0, 2014, 216}, "Internet Explorer 5.0"},
    {{5, 0, 910, 1309}, "Internet Explorer 5 Beta (Beta 2)"},
    {{5, 0, 518, 10}, "Internet Explorer 5 Developer Preview (Beta 1)"},
    {{4, 72, 3612, 1713}, "Internet Explorer 4.01 Service Pack 2 (SP2)"},
    {{4, 72, 3110, 8}, "Internet Explorer 4.01 Service Pack 1 (SP1)"},
    {{4, 72, 2106, 8}, "Internet Explorer 4.01"},
    {{4, 71, 1712, 6}, "Internet Explorer 4.0"},
    {{4, 71, 1008, 3}, "Internet Explorer 4.0 Platform Preview 2.0 (PP2)"},
    {{4, 71, 544, 0}, "Internet Explorer 4.0 Platform Preview 1.0 (PP1)"},
    {{4, 70, 1300, 0}, "Internet Explorer 3.02"},
    {{4, 70, 1215, 0}, "Internet Explorer 3.01"},
    {{4, 70, 1158, 0}, "Internet Explorer 3.0 (OSR2)"},
    {{4, 70, 1155, 0}, "Internet Explorer 3.0"},
    {{4, 40, 520, 0}, "Internet Explorer 2.0"},
    {{4, 40, 308, 0}, "Internet Explorer 1.0 (Plus!)"},
}};

template <std::size_t N>
const char* firstReached(const std::array<VersionName, N>& table, const FourPartVersion& v) {
    for (const VersionName& row : table)
        if (v >= row.threshold) return row.name;
    return nullptr;
}

} // namespace

std::string ViewerFriendlyVerStr(const std::string& versionText) {
    if (versionText.empty()) return {};
    const FourPartVersion v = parseVersion(versionText).value_or(FourPartVersion{});
    constexpr FourPartVersion newest{5, 2, 3669, 0};
    if (v > newest) return "> 1.4a";
    if (v == newest) return "1.4a";
    return firstReached(kViewerNames, v);
}

std::string BrowserVerStr(const std::string& fileVersion) {
    if (fileVersion.empty()) return {};
    FourPartVersion v = parseVersion(fileVersion).value_or(FourPartVersion{});
    if (v.major == 4 && v.minor <= 70 && v.release == 0) {
        v.release = v.build;
        v.build = 0;
    }
    return versionText(v);
}

std::string BrowserFriendlyVerStr(const std::string& versionText) {
    if (versionText.empty()) return {};
    const FourPartVersion v = parseVersion(versionText).value_or(FourPartVersion{});
    if (v.major > 6) return ">= Internet Explorer " + versionText;
    if (const char* name = firstReached(kBrowserNames, v)) return name;
    return "< Internet Explorer 1.0 (Plus!)";
}

} // namespace qarn3
