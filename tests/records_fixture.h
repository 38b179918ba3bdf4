#pragma once

#include "platform/files.h"
#include "records/location.h"
#include "store/database.h"
#include "store/store.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace qarn3::test {

// A fresh folder per test for a records database, and a valid test point to store under.
class RecordsDatabaseTest : public ::testing::Test {
public:
    RecordsDatabaseTest() {
        char tmpl[] = "/tmp/qarn3-records-XXXXXX";
        folder = ::mkdtemp(tmpl);
        path = folder + "/QARN3.db";
        context.site = {newRecordId(), "Plant \"A\", north", ""};
        context.breaker.id = newRecordId();
        context.breaker.siteId = context.site.id;
        context.breaker.designation = "Q1";
        context.breaker.ratedAmps = 400;
        context.session.id = newRecordId();
        context.session.breakerId = context.breaker.id;
        context.session.startedAt = isoUtcNow();
        context.session.analyzerCalDate = "2026-03-01";
        context.point.id = newRecordId();
        context.point.sessionId = context.session.id;
        context.point.multiple = 3;
        context.point.band = Band{0.1, 0.5};
    }
    ~RecordsDatabaseTest() override {
        // Windows keeps a file that is still open from being removed; the folder is then
        // left in the temporary folder, and the test's own checks tell what was open.
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }

    // A reading of 3 x In inside the band.
    static NewShot shot(double seconds = 0.3, QByteArray waveform = {}) {
        NewShot s;
        s.reading.takenAt = isoUtcNow();
        s.reading.currentAmps = 1200;
        s.reading.seconds = seconds;
        s.reading.cycles = seconds * 60;
        s.waveform = waveform;
        return s;
    }

    // One value from a connection of its own, as another program would read the file.
    QVariant rawValue(const std::string& statement) const {
        QVariant v;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "raw");
            db.setDatabaseName(QString::fromStdString(path));
            db.open();
            QSqlQuery q(db);
            if (q.exec(QString::fromStdString(statement)) && q.next()) v = q.value(0);
            db.close();
        }
        QSqlDatabase::removeDatabase("raw");
        return v;
    }

    void put(const std::string& file, const std::string& bytes) const {
        std::ofstream(file, std::ios::binary) << bytes;
    }

    std::string folder;
    std::string path;
    ShotContext context;
};

// Every shot of the program's records database in dataFolder, oldest first.
inline std::vector<ShotRow> storedShots(const std::string& dataFolder) {
    RecordsDatabase db(DatabaseLocation::file(defaultRecordsPath(dataFolder)));
    EXPECT_TRUE(db.open().ok);
    RecordsError error;
    std::vector<ShotRow> rows =
        RecordsStore(db).listShots({}, ShotOrder::OldestFirst, 0, 1000, error);
    EXPECT_FALSE(error) << error.message;
    return rows;
}

} // namespace qarn3::test
