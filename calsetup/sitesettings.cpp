#include "calsetup/sitesettings.h"
#include "platform/fspath.h"

#include "diag/debuglog.h"
#include "diag/services.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/textformat.h"

#include <filesystem>

namespace qarn3 {

std::string siteFileBeside(const std::string& setupFileName) {
    const std::filesystem::path folder = fsPath(setupFileName).parent_path();
    return folder.empty() ? std::string(kSiteFileName) : genericUtf8Of(folder / kSiteFileName);
}

std::string siteFileText(const TSiteSettings& s) {
    return "; QARN-3 site settings (the setup file QARN3.osf keeps the rest)\r\nMainsHz=" +
           std::to_string(s.MainsHz) + "\r\n";
}

std::string parseSiteText(const std::string& text, TSiteSettings& s) {
    std::string problem;
    // An editor that marks its files as UTF-8 puts a byte order mark before the first name,
    // which would otherwise no longer read as MainsHz and be passed over without a word.
    std::size_t start = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        const std::string line = trimText(text.substr(start, nl - start));
        start = nl + 1;
        const std::size_t eq = line.find('=');
        if (line.empty() || line[0] == ';' || line[0] == '#' || line[0] == '[' ||
            eq == std::string::npos)
            continue;
        const std::string name = trimText(line.substr(0, eq));
        const std::string value = trimText(line.substr(eq + 1));
        if (!equalsIgnoringCase(name, "MainsHz")) continue;
        if (value == "50" || value == "60") {
            s.MainsHz = value == "50" ? 50 : 60;
            problem.clear();
        } else {
            s.MainsHz = TSiteSettings{}.MainsHz;
            problem = "Mains frequency '" + value + "' is not 50 or 60 Hz";
        }
    }
    return problem;
}

bool ReadSiteFile(TSiteSettings& s, const std::string& path, Services& services) {
    services.log.AddDebugLine("ReadSiteFile ");
    s = TSiteSettings{};
    if (!services.files.exists(path)) return true;
    const auto text = services.files.readPrefix(path, kSiteReadLimit);
    if (!text) {
        services.dialogs.messageDlg("Error reading file: " + path + "\nThe default, " +
                                        std::to_string(s.MainsHz) + " Hz mains, is used.",
                                    MsgKind::Error, {MsgButton::OK});
        return false;
    }
    const std::string problem = parseSiteText(*text, s);
    if (problem.empty()) return true;
    services.dialogs.messageDlg(problem + "; " + std::to_string(s.MainsHz) + " Hz is used.\n(" +
                                    path + ")",
                                MsgKind::Warning, {MsgButton::OK});
    return false;
}

bool WriteSiteFile(const TSiteSettings& s, const std::string& path, Services& services) {
    services.log.AddDebugLine("WriteSiteFile ");
    std::string error;
    if (services.files.replaceContents(path, siteFileText(s), error)) return true;
    services.log.AddDebugLine("WriteSiteFile failed: " + error);
    services.dialogs.messageDlg("Error writing file: " + path, MsgKind::Error, {MsgButton::Abort});
    return false;
}

} // namespace qarn3
