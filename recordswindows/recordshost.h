#pragma once

#include "records/location.h"
#include "records/verdict.h"

#include <QColor>
#include <QString>

#include <array>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace qarn3 {

class DialogService;

// The analyzer a session is recorded with, as its calibration names it.
struct AnalyzerIdentity {
    std::string serial;
    std::string calDate; // "YYYY-MM-DD", empty when unknown
};

// The identity of the calibration record's serial number and date (a day number from 30
// December 1899, as the record keeps it; 0 or less: unknown).
AnalyzerIdentity analyzerIdentityOf(const std::string& serialNumber, double calDate);

class RecordsDatabase;

// A window's own connection for its short reads, opened on the window's thread with a short
// wait for a lock (one second): the database when it could be read (null when not, with why
// in error), and the opening's notes for the operator in one text (a read-only database).
struct WindowConnection {
    std::unique_ptr<RecordsDatabase> db;
    std::string notes;
    std::string error;
};
WindowConnection openWindowConnection(const DatabaseLocation& where);

// What the records windows take from the program.
struct RecordsHost {
    DatabaseLocation database; // the records: QARN3.db in the data folder
    std::string dataFolder;    // where the file dialogs open
    DialogService& dialogs;    // every box the windows show
    char decimalSeparator = '.';
    // The analyzer's identity, asked when a session starts; none: unknown.
    std::function<AnalyzerIdentity()> analyzer;
    // The eight measuring ranges' full scales in amperes peak, as the analyzer's shunt gives
    // them; none: the nominal 50 to 10000 A.
    std::function<std::array<double, 8>()> rangeFullScales;
};

// The background of a shot's row: a light tint of its verdict's colour (green for a pass,
// red for a failure or no trip, yellow for a doubtful reading or no band) under dark text.
QColor verdictRowColour(Verdict v);
// The verdict's own colour, stronger, for its text and marks.
QColor verdictMarkColour(Verdict v);

// A stored text as the windows show it: its bidirectional controls written out
// (showBidiControls), so that a crafted site cannot show as another. Only for showing: a
// choice of names keeps the stored name as its item's data.
QString shownText(const std::string& stored);

} // namespace qarn3
