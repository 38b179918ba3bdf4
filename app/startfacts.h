#pragma once

#include "diag/sysreport.h"

#include <QStringList>

#include <string>

namespace qarn3 {

// The facts of the running program for the diagnostic report: its file, folder and version,
// the command line, the debug switch, the system, the locale and the help viewer's version.
// progFolder: the program folder (platformFolders), where "debug.debug" switches debug mode
// on. root: "" on a running system (a folder standing in for "/" in tests).
SystemReportFacts startFacts(const QStringList& arguments, const std::string& modulePath,
                             const std::string& progFolder, const std::string& version,
                             char decimalSeparator, const std::string& viewerVersion,
                             const std::string& root = {});

} // namespace qarn3
