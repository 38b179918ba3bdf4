#pragma once

#include "diag/debuglog.h"
#include "diag/services.h"
#include "platform/scripted_dialogs.h"
#include "records/tripunitcsv.h"
#include "recordswindows/recordshost.h"
#include "store/store.h"
#include "store/tripunitlibrary.h"

#include "event_waits.h"
#include "records_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>

namespace qarn3::test {

// A records database in a fresh folder with the host the records windows take: boxes
// answered by a script, '.' as the separator, an analyzer of known identity.
class RecordsWindowTest : public RecordsDatabaseTest {
public:
    RecordsWindowTest() { log.open(); }

    // The trip-unit profiles of a CSV file imported into the records, as a person would before
    // testing.
    void importTripUnits(const std::string& csvFile) {
        const auto text = FileStore().readAll(csvFile);
        ASSERT_TRUE(text) << csvFile;
        const TripUnitCsv csv = parseTripUnitCsv(*text);
        ASSERT_TRUE(csv.error.empty()) << csv.error;
        RecordsDatabase db(DatabaseLocation::file(path));
        ASSERT_TRUE(db.open().ok);
        TripUnitImportSummary summary;
        ASSERT_FALSE(TripUnitLibrary(db).importProfiles(csv.profiles, summary));
    }

    RecordsHost host(char separator = '.') {
        return {DatabaseLocation::file(path),
                folder,
                dialogs,
                separator,
                [] {
                    return AnalyzerIdentity{"SN-4711", "2026-03-01"};
                },
                {}};
    }

    // A site whose right-to-left override makes it print as "Plant Q-1", with breaker "Q7"
    // printing as "7Q", stored beside the real "Plant Q-1" and its "Q1": a shot under each.
    static constexpr const char* kCraftedSite = "\u202E1-Q tnalP";
    static constexpr const char* kCraftedBreaker = "\u202EQ7";
    void storeLookalikeSites() {
        RecordsDatabase db(DatabaseLocation::file(path));
        ASSERT_TRUE(db.open().ok);
        RecordsStore store(db);
        for (const auto& [site, breaker] :
             {std::pair{"Plant Q-1", "Q1"}, std::pair{kCraftedSite, kCraftedBreaker}}) {
            ShotContext c = context;
            c.site = {newRecordId(), site, ""};
            c.breaker.id = newRecordId();
            c.breaker.siteId = c.site.id;
            c.breaker.designation = breaker;
            c.session.id = newRecordId();
            c.session.breakerId = c.breaker.id;
            c.point.id = newRecordId();
            c.point.sessionId = c.session.id;
            std::vector<ShotRecord> stored;
            ASSERT_FALSE(store.storeShots(c, {shot()}, stored));
        }
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
