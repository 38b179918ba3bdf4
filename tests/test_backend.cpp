// How each engine's backend tells the driver's errors apart: the native code the driver
// reports decides the kind, and the kinds that stand alone say so in their own words.
#include "store/database.h"

#include <QSqlError>

#include <gtest/gtest.h>

using namespace qarn3;

namespace {

struct ErrorCase {
    const char* name;
    bool server;
    const char* nativeCode;
    RecordsErrorKind kind;
    const char* message; // empty: the plain "doing: driver's words"
};

class DriverErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(DriverErrors, AreClassifiedByTheirNativeCode) {
    const ErrorCase& c = GetParam();
    DatabaseLocation where = DatabaseLocation::file("/records/QARN3.db");
    if (c.server) {
        std::string why;
        ASSERT_TRUE(DatabaseLocation::parse("postgresql://ann@db.example/qarn3", where, why));
    }
    OpenOptions options;
    options.busyTimeoutMs = 2500;
    const RecordsDatabase db(where, options);
    const QSqlError e("driver", "first line\nsecond line", QSqlError::StatementError,
                      QString::fromLatin1(c.nativeCode));
    const RecordsError r = db.errorOf(e, "Storing");
    EXPECT_EQ(r.kind, c.kind);
    const std::string expected = *c.message ? c.message : "Storing: first line second line";
    EXPECT_EQ(r.message, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Engines, DriverErrors,
    ::testing::Values(
        ErrorCase{"FileBusyIsLockedWithTheWait", false, "5", RecordsErrorKind::Locked,
                  "The records database /records/QARN3.db is locked by another program (waited "
                  "2.5 s)"},
        ErrorCase{"FileLockedTableIsLocked", false, "6", RecordsErrorKind::Locked,
                  "The records database /records/QARN3.db is locked by another program (waited "
                  "2.5 s)"},
        ErrorCase{"FileReadOnly", false, "8", RecordsErrorKind::ReadOnly,
                  "The records database /records/QARN3.db cannot be written: first line second "
                  "line"},
        ErrorCase{"FileCorruptIsDamaged", false, "11", RecordsErrorKind::Damaged,
                  "The records database /records/QARN3.db is damaged: first line second line"},
        ErrorCase{"FileNotADatabaseIsDamaged", false, "26", RecordsErrorKind::Damaged,
                  "The records database /records/QARN3.db is damaged: first line second line"},
        ErrorCase{"FileExtendedConstraintCodeIsInvalid", false, "2067", RecordsErrorKind::Invalid,
                  ""},
        ErrorCase{"FileOtherCodeFails", false, "1", RecordsErrorKind::Failed, ""},
        ErrorCase{"FileNoCodeFails", false, "", RecordsErrorKind::Failed, ""},
        ErrorCase{"ServerLockTimeoutIsLocked", true, "55P03", RecordsErrorKind::Locked,
                  "The records database postgresql://ann@db.example/qarn3 is locked by another "
                  "session"},
        ErrorCase{"ServerDeadlockIsLocked", true, "40P01", RecordsErrorKind::Locked,
                  "The records database postgresql://ann@db.example/qarn3 is locked by another "
                  "session"},
        ErrorCase{"ServerReadOnlyTransaction", true, "25006", RecordsErrorKind::ReadOnly, ""},
        ErrorCase{"ServerUniqueViolationIsInvalid", true, "23505", RecordsErrorKind::Invalid, ""},
        ErrorCase{"ServerRoleMayNotIsDenied", true, "42501", RecordsErrorKind::Denied, ""},
        ErrorCase{"ServerWithoutStateIsLost", true, "", RecordsErrorKind::Unreachable,
                  "The connection to the records database postgresql://ann@db.example/qarn3 "
                  "was lost: first line second line"},
        ErrorCase{"ServerConnectionFailureIsLost", true, "08006", RecordsErrorKind::Unreachable,
                  "The connection to the records database postgresql://ann@db.example/qarn3 "
                  "was lost: first line second line"},
        ErrorCase{"ServerShutdownIsLost", true, "57P01", RecordsErrorKind::Unreachable,
                  "The connection to the records database postgresql://ann@db.example/qarn3 "
                  "was lost: first line second line"},
        ErrorCase{"ServerMissingTableFails", true, "42P01", RecordsErrorKind::Failed, ""}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
