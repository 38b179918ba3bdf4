#pragma once

#include "diag/debuglog.h"
#include "diag/services.h"
#include "platform/scripted_dialogs.h"
#include "records/recordsui.h"
#include "records/store.h"

#include "event_waits.h"
#include "records_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>

namespace qarn3::test {

// A records database in a fresh folder with the host the records windows take: boxes
// answered by a script, '.' as the separator, an analyzer of known identity.
class RecordsWindowTest : public RecordsDbTest {
public:
    RecordsWindowTest() { log.open(); }

    RecordsHost host(char separator = '.') {
        return {DatabaseLocation::file(path), folder, dialogs, separator, [] {
                    return AnalyzerIdentity{"SN-4711", "2026-03-01"};
                }};
    }

    // The first box whose text holds part; nullptr when none does.
    const DialogRecord* box(const std::string& part) const {
        for (const DialogRecord& r : dialogs.shown())
            if (r.text.find(part) != std::string::npos) return &r;
        return nullptr;
    }

    ScriptedDialogs dialogs;
    FileStore files;
    DebugLog log;
    Services services{files, dialogs, log};
};

} // namespace qarn3::test
