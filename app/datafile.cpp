#include "app/datafile.h"

#include "diag/debuglog.h"
#include "diag/services.h"
#include "diag/waits.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/textformat.h"

namespace qarn3 {

std::string dataFileText(double pulseAmps, double pulseSeconds, char sep) {
    return formatFixed(pulseAmps, 8, 2, sep) + "\r\n" + formatFixed(pulseSeconds, 8, 3, sep) +
           "\r\n" + formatFixed(0.0, 8, 3, sep) + "\r\n";
}

bool WriteDataFile(const std::string& path, const std::string& shownName,
                   const std::function<DataFileReadings()>& readings, char sep, Services& s,
                   Waits& waits) {
    s.log.AddDebugLine("WriteDataFile ");
    waits.BusyWait(500);
    std::string error;
    const DataFileReadings now = readings();
    const bool ok =
        s.files.replaceContents(path, dataFileText(now.pulseAmps, now.pulseSeconds, sep), error);
    if (!ok) {
        s.log.AddDebugLine("WriteDataFile failed: " + error);
        s.dialogs.messageDlg("Error writing file: " + shownName, MsgKind::Error,
                             {MsgButton::Abort});
    }
    s.log.AddDebugLine("End WriteDataFile ");
    return ok;
}

} // namespace qarn3
