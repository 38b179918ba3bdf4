// What the environment says of the folders, the same variables read on every system.
#include "platform/files.h"

namespace qarn3 {

FolderEnvironment folderEnvironment(const std::function<std::string(const char*)>& variable) {
    FolderEnvironment env;
    env.progFolder = variable("QARN3_PROG_DIR");
    env.dataFolder = variable("QARN3_DATA_DIR");
    env.xdgDataHome = variable("XDG_DATA_HOME");
    env.home = variable("HOME");
    env.localAppData = variable("LOCALAPPDATA");
    env.programData = variable("PROGRAMDATA");
    env.allUsers = variable("QARN3_ALL_USERS") == "1";
    return env;
}

} // namespace qarn3
