#pragma once

#include "diag/debuglog.h"
#include "link/protocol.h"
#include "platform/dialogs.h"

#include <optional>
#include <string>

namespace qarn3 {

// The calibration exchanges both links share; each link sends, waits and logs in its own way.

// The operator is asked before the analyzer's memory is written; true on OK.
inline bool confirmCalWrite(DialogService& dialogs) {
    return dialogs.messageDlg("Writing to PIC Memory", MsgKind::Warning,
                              {MsgButton::OK, MsgButton::Cancel}) == MsgButton::OK;
}

// The calibration read's polling after the 0x03 command: up to ten looks, wait(100) between
// them, for the image's 128 characters, whose ninth must be a carriage return. The image as
// sent (up to its first NUL), or nothing.
template <typename Ring, typename Wait>
std::optional<std::string> pollCalImage(const Ring& ring, DebugLog& log, Wait wait) {
    for (int poll = 0; poll < 10; ++poll) {
        if (ring.RxCount() >= kCalImageLength) {
            if (ring.peek(8) != '\r') return std::nullopt;
            return calImageForSending(ring.copyOldest(kCalImageLength));
        }
        log.AddDebugLine("Waiting for Cal Data ");
        if (poll < 9) wait(100);
    }
    return std::nullopt;
}

} // namespace qarn3
