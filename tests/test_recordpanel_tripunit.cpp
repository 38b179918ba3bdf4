// The test record panel with an electronic trip unit, as a person uses it: the profile chosen
// and the settings typed, a target as a multiple of a setting with its current and band shown,
// a pulse's shot listed with its band, basis and flags, and settings refused by name.
#include "records/tripunitcsv.h"
#include "recordstool/reading.h"
#include "recordswindows/testrecordpanel.h"

#include "records_windows_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include <fstream>
#include <sstream>

using namespace qarn3;
using namespace qarn3::test;

namespace {

// Ground fault off: a test current through one pole is a ground fault to the trip unit.
constexpr const char* kSettings =
    "ltpu=0.8, LTD=4,STPU=4,STD=0.2,STI2T=on,INST=8,GFPU=off,GFD=0.2,GFI2T=off";
constexpr const char* kStored =
    "LTPU=0.8,LTD=4,STPU=4,STD=0.2,STI2T=on,INST=8,GFPU=off,GFD=0.2,GFI2T=off";
constexpr const char* kWithGroundFault =
    "LTPU=0.8,LTD=4,STPU=4,STD=0.2,STI2T=on,INST=8,GFPU=0.3,GFD=0.2,GFI2T=off";

RecordedPulse pulse(double amps, double seconds) {
    RecordedPulse e;
    PulseResult r;
    r.pulseAmps = static_cast<float>(amps);
    r.seconds = seconds;
    r.cycles = seconds * 60;
    e.reading = readingOf(r, 1, 5, {});
    return e;
}

class TripUnitPanelTest : public RecordsWindowTest {
public:
    void importSample() { importTripUnits(QARN3_SOURCE_DIR "/records/tripunits/sample.csv"); }

    // The panel as a window of its own, active, the records read.
    std::unique_ptr<TestRecordPanel> openPanel(char separator) {
        auto p = std::make_unique<TestRecordPanel>(host(separator), writer);
        p->show();
        p->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(p.get()));
        return p;
    }

    static QWidget* focus() { return QApplication::focusWidget(); }
    static void type(const char* text) { QTest::keyClicks(focus(), text); }
    static void key(Qt::Key k, Qt::KeyboardModifiers m = {}) { QTest::keyClick(focus(), k, m); }
    static void mnemonic(TestRecordPanel& p, Qt::Key k) { QTest::keyClick(&p, k, Qt::AltModifier); }

    // Site, breaker and rating by keys; the profile chosen and the settings typed.
    static void typeBreaker(TestRecordPanel& p, const char* settings) {
        QTest::mouseClick(p.cbSite->lineEdit(), Qt::LeftButton);
        type("North Plant");
        key(Qt::Key_Tab);
        type("Q7");
        mnemonic(p, Qt::Key_I);
        ASSERT_EQ(focus(), p.ebRating);
        type("400");
        mnemonic(p, Qt::Key_L);
        ASSERT_EQ(focus(), p.cbTripUnit) << "the profile is reached by its mnemonic";
        key(Qt::Key_Down);
        EXPECT_EQ(p.cbTripUnit->currentText(), "Generic Sample-ETU");
        mnemonic(p, Qt::Key_G);
        ASSERT_EQ(focus(), p.ebTripSettings) << "the settings are reached by their mnemonic";
        type(settings);
    }

    // A tab by a click on its title.
    static void clickTab(TestRecordPanel& p, int tab) {
        QTabBar* bar = p.Tabs->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
    }

    // The test point tab by a click, its kind by keys (Down steps), the target typed and the
    // band to come from the breaker's trip unit.
    static void typeTarget(TestRecordPanel& p, int kindSteps, const char* target) {
        clickTab(p, 2);
        ASSERT_EQ(p.Tabs->currentIndex(), 2);
        mnemonic(p, Qt::Key_K);
        ASSERT_EQ(focus(), p.cbKind);
        for (int i = 0; i < kindSteps; ++i)
            key(Qt::Key_Down);
        mnemonic(p, Qt::Key_A);
        ASSERT_EQ(focus(), p.ebMultiple);
        type(target);
        QTest::mouseClick(p.rbBandCurve, Qt::LeftButton);
    }

    std::vector<ShotRow> storedShots() {
        RecordsDatabase db(DatabaseLocation::file(path));
        EXPECT_TRUE(db.open().ok);
        RecordsError e;
        return RecordsStore(db).listShots({}, ShotOrder::OldestFirst, 0, 100, e);
    }

    ShotWriter writer{DatabaseLocation::file(path)};
};

TEST_F(TripUnitPanelTest, TargetOfASettingShowsItsCurrentBandAndTheShotsBasis) {
    importSample();
    auto panel = openPanel(',');
    TestRecordPanel& p = *panel;
    typeBreaker(p, kSettings);
    key(Qt::Key_Tab, Qt::ControlModifier);
    mnemonic(p, Qt::Key_O);
    type("J. Smith");
    typeTarget(p, 0, "3xIr");
    // 3 x Ir at LTPU 0.8 of 400 A: 960 A, where long time alone acts, LTD 4 s at 6 x Ir
    // giving 16 s at 3 x Ir, 20 % under it at the least.
    EXPECT_EQ(p.lbTargetAmps->text().toStdString(), "target 960,0 A");
    EXPECT_EQ(p.lbTargetBand->text().toStdString(),
              "Band 12,8 – 16,0 s (settings LTD=4 at 3,00 × Ir, Generic Sample-ETU)");

    mnemonic(p, Qt::Key_D);
    ASSERT_TRUE(waitFor([&] { return p.isRecording(); })) << p.lbMessage->text().toStdString();
    EXPECT_TRUE(p.lbState->text().contains("long-time 3 × Ir = 2,40 x In"))
        << p.lbState->text().toStdString();

    // 1200 A is 3.75 x Ir, inside short time's pickup tolerance (Isd 1280 A +/- 10 %), and a
    // quarter above the target: long time's maximum, short time's ramp (STD 0.2 s row times
    // (10 Ir / I)²) its minimum.
    std::vector<StoreOutcome> outcomes;
    QObject::connect(&p, &TestRecordPanel::shotStored,
                     [&](const StoreOutcome& o) { outcomes.push_back(o); });
    p.pulseEnded(pulse(1200, 5));
    ASSERT_TRUE(waitFor([&] { return outcomes.size() == 1; }));
    const auto cell = [&](int c) { return p.ShotList->item(0, c)->text().toStdString(); };
    EXPECT_EQ(cell(TestRecordPanel::ColVerdict), "PASS");
    EXPECT_EQ(cell(TestRecordPanel::ColTarget), "off target, near pickup");
    EXPECT_EQ(cell(TestRecordPanel::ColBand), "1,07 – 10,2 s");
    EXPECT_EQ(cell(TestRecordPanel::ColBasis), "settings LTD=4 at 3,75 × Ir, Generic Sample-ETU");
    EXPECT_TRUE(p.ShotList->item(0, TestRecordPanel::ColTarget)->font().bold());

    // As stored: the profile and the settings in their own form on breaker and session, the
    // target as typed beside its multiple of In.
    const std::vector<ShotRow> stored = storedShots();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].breaker.tripUnitId, tripUnitIdOf("Generic", "Sample-ETU"));
    EXPECT_EQ(stored[0].breaker.tripSettings, kStored);
    EXPECT_EQ(stored[0].session.tripSettings, kStored);
    EXPECT_EQ(stored[0].point.targetOf, TargetOf::Ir);
    EXPECT_DOUBLE_EQ(stored[0].point.targetFactor, 3);
    EXPECT_DOUBLE_EQ(stored[0].point.multiple, 2.4);
    EXPECT_TRUE(stored[0].shot.basis.nearPickup);

    // The session listed again, chosen: its shot with its basis, its settings in the field.
    mnemonic(p, Qt::Key_N);
    ASSERT_TRUE(waitFor([&] { return !p.isRecording(); }));
    clickTab(p, 1);
    mnemonic(p, Qt::Key_E);
    ASSERT_EQ(focus(), p.cbSession);
    key(Qt::Key_Down);
    ASSERT_EQ(p.ShotList->rowCount(), 1);
    EXPECT_EQ(cell(TestRecordPanel::ColBasis), "settings LTD=4 at 3,75 × Ir, Generic Sample-ETU");
    EXPECT_EQ(p.ebTripSettings->text().toStdString(), kStored);
    EXPECT_EQ(p.cbTripUnit->currentText(), "Generic Sample-ETU");
}

TEST_F(TripUnitPanelTest, PickedBreakerFillsTheTripUnitAndEditedSettingsAreItsOwn) {
    importSample();
    {
        auto first = openPanel('.');
        typeBreaker(*first, kSettings);
        typeTarget(*first, 0, "3 x Ir");
        mnemonic(*first, Qt::Key_D);
        ASSERT_TRUE(waitFor([&] { return first->isRecording(); }));
        first->pulseEnded(pulse(960, 14));
        ASSERT_TRUE(waitFor([&] { return storedShots().size() == 1; }));
    }
    auto panel = openPanel('.');
    TestRecordPanel& p = *panel;
    QTest::mouseClick(p.cbSite->lineEdit(), Qt::LeftButton);
    type("North Plant");
    key(Qt::Key_Tab);
    type("Q7");
    key(Qt::Key_Tab); // the breaker's designation done: its record is read into the fields
    EXPECT_EQ(p.cbTripUnit->currentText(), "Generic Sample-ETU");
    EXPECT_EQ(p.ebTripSettings->text().toStdString(), kStored);
    EXPECT_EQ(p.ebRating->text(), "400");

    // As left: the long-time pickup raised. The breaker takes the new settings.
    mnemonic(p, Qt::Key_G);
    key(Qt::Key_Home);
    key(Qt::Key_Delete, Qt::ShiftModifier);
    for (int i = 0; i < 8; ++i)
        key(Qt::Key_Delete);
    type("LTPU=1");
    typeTarget(p, 0, "3xIr");
    EXPECT_EQ(p.lbTargetAmps->text().toStdString(), "target 1200.0 A");
    mnemonic(p, Qt::Key_D);
    ASSERT_TRUE(waitFor([&] { return p.isRecording(); })) << p.lbMessage->text().toStdString();
    p.pulseEnded(pulse(1200, 14));
    const std::string edited = "LTPU=1,LTD=4,STPU=4,STD=0.2,STI2T=on,INST=8,GFPU=off,GFD=0.2,"
                               "GFI2T=off";
    ASSERT_TRUE(waitFor([&] { return storedShots().size() == 2; }));
    const std::vector<ShotRow> stored = storedShots();
    EXPECT_EQ(stored[1].breaker.id, stored[0].breaker.id);
    EXPECT_EQ(stored[1].breaker.tripSettings, edited);
    EXPECT_EQ(stored[1].session.tripSettings, edited);
    EXPECT_EQ(stored[0].session.tripSettings, kStored) << "the first session keeps its own";
    EXPECT_DOUBLE_EQ(stored[1].point.multiple, 3);
}

TEST_F(TripUnitPanelTest, AProfileWithoutSettingsSaysWhyAShotHasNoBand) {
    importSample();
    auto panel = openPanel('.');
    TestRecordPanel& p = *panel;
    typeBreaker(p, "");
    typeTarget(p, 0, "3");
    mnemonic(p, Qt::Key_D);
    ASSERT_TRUE(waitFor([&] { return p.isRecording(); })) << p.lbMessage->text().toStdString();
    p.pulseEnded(pulse(1200, 14));
    ASSERT_TRUE(waitFor([&] { return storedShots().size() == 1; }));
    ASSERT_TRUE(waitFor(
        [&] { return p.ShotList->item(0, TestRecordPanel::ColVerdict)->text() == "NO BAND"; }));
    EXPECT_EQ(p.ShotList->item(0, TestRecordPanel::ColBand)->text().toStdString(),
              "none, no trip-unit settings");
}

// What the panel shows beside a target typed, the settings and profile being kStored and the
// sample's at 400 A.
struct Preview {
    const char* name;
    const char* settings;
    int kindSteps; // Down presses from long-time
    const char* target;
    const char* amps;
    const char* band; // empty: none shown
};

void PrintTo(const Preview& p, std::ostream* os) {
    *os << p.name;
}

class TargetPreviewShown : public TripUnitPanelTest,
                           public ::testing::WithParamInterface<Preview> {};

TEST_P(TargetPreviewShown, BesideTheTarget) {
    const Preview& c = GetParam();
    importSample();
    auto panel = openPanel(',');
    typeBreaker(*panel, c.settings);
    typeTarget(*panel, c.kindSteps, c.target);
    EXPECT_EQ(panel->lbTargetAmps->text().toStdString(), c.amps);
    EXPECT_EQ(panel->lbTargetBand->text().toStdString(), c.band);
}

// clang-format off
const Preview kPreviews[] = {
    {"BelowLongTimePickup", kSettings, 0, "0,5 x Ir", "target 160,0 A",
     "Band below pickup (settings at 0,50 × Ir, Generic Sample-ETU)"},
    {"ShortTimeOnItsRamp", kSettings, 1, "1,5×Isd", "target 1920,0 A",
     "Band 0,417 – 0,694 s (settings STD=0,2; STI2T=on at 6,00 × Ir, Generic Sample-ETU)"},
    {"InstantaneousAbovePickup", kSettings, 2, "1.2 x Ii", "target 3840,0 A",
     "Band 0 – 0,0500 s (settings INST=8 at 9,60 × In, Generic Sample-ETU)"},
    {"GroundFaultActsAtALongTimePoint", kWithGroundFault, 0, "2 x Ig", "target 240,0 A",
     "Band 0,150 – 0,250 s, ground-fault acts at this current "
     "(settings GFD=0,2; GFI2T=off at 0,60 × In, Generic Sample-ETU)"},
    {"OfInAsBefore", kSettings, 0, "2,4", "target 960,0 A",
     "Band 12,8 – 16,0 s (settings LTD=4 at 3,00 × Ir, Generic Sample-ETU)"},
    {"NotATarget", kSettings, 0, "3 x Iq", "", ""},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Targets, TargetPreviewShown, ::testing::ValuesIn(kPreviews),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(TripUnitPanelTest, TypedBandOrMustNotTripShowsNoSettingsBand) {
    importSample();
    auto panel = openPanel('.');
    TestRecordPanel& p = *panel;
    typeBreaker(p, kSettings);
    typeTarget(p, 0, "3xIr");
    ASSERT_FALSE(p.lbTargetBand->text().isEmpty());
    for (QRadioButton* b : {p.rbBandTyped, p.rbMustNotTrip}) {
        QTest::mouseClick(b, Qt::LeftButton);
        EXPECT_EQ(p.lbTargetAmps->text().toStdString(), "target 960.0 A");
        EXPECT_TRUE(p.lbTargetBand->text().isEmpty()) << b->text().toStdString();
    }
    // No profile: no band from the settings either.
    clickTab(p, 0);
    mnemonic(p, Qt::Key_L);
    key(Qt::Key_Up);
    EXPECT_EQ(p.cbTripUnit->currentText(), "(none)");
    clickTab(p, 2);
    QTest::mouseClick(p.rbBandCurve, Qt::LeftButton);
    EXPECT_TRUE(p.lbTargetBand->text().isEmpty());
}

// Settings or a target the panel refuses: named in the message, the field marked and
// focused on its tab, nothing stored.
struct Refused {
    const char* name;
    const char* settings;
    const char* target;
    const char* message;
    int tab;
};

void PrintTo(const Refused& r, std::ostream* os) {
    *os << r.name;
}

class TripUnitRefusal : public TripUnitPanelTest, public ::testing::WithParamInterface<Refused> {};

TEST_P(TripUnitRefusal, NamesItAndStoresNothing) {
    const Refused& r = GetParam();
    importSample();
    auto panel = openPanel('.');
    TestRecordPanel& p = *panel;
    typeBreaker(p, r.settings);
    typeTarget(p, 0, r.target);
    QTest::mouseClick(p.btStart, Qt::LeftButton);
    EXPECT_FALSE(p.isRecording());
    EXPECT_EQ(p.lbMessage->text().toStdString(), r.message);
    EXPECT_EQ(p.Tabs->currentIndex(), r.tab);
    QWidget* const field = r.tab == 0 ? static_cast<QWidget*>(p.ebTripSettings) : p.ebMultiple;
    EXPECT_EQ(focus(), field);
    EXPECT_TRUE(field->styleSheet().contains("border"));
    p.pulseEnded(pulse(1200, 0.2));
    EXPECT_EQ(p.ShotList->rowCount(), 0);
    RecordsDatabase db(DatabaseLocation::file(path));
    ASSERT_TRUE(db.open().ok);
    RecordsError e;
    EXPECT_TRUE(RecordsStore(db).sites(e).empty());
    EXPECT_TRUE(storedShots().empty());
}

// clang-format off
const Refused kRefused[] = {
    {"UnknownSetting", "LTPU=0.8,LTX=4", "3", "trip-unit settings: unknown setting 'LTX'", 0},
    {"PickupNotAboveZero", "LTPU=0", "3", "trip-unit settings: LTPU: '0' must be above zero", 0},
    {"SwitchNotOnOrOff", "STI2T=yes", "3", "trip-unit settings: STI2T: 'yes' is not on or off", 0},
    {"GivenTwice", "LTD=4,ltd=5", "3", "trip-unit settings: LTD: given twice", 0},
    {"TargetOfASettingNotGiven", "LTPU=0.8", "2 x Isd", "target: Isd needs the setting STPU", 2},
    {"TargetOfASettingOff", "LTPU=0.8,INST=off", "2 x Ii", "target: Ii needs the setting INST", 2},
    {"TargetNotReadable", "LTPU=0.8", "3 x Iq", "multiple: '3 x Iq' is not a number, nor one times In, Ir, Isd, Ii or Ig", 2},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Settings, TripUnitRefusal, ::testing::ValuesIn(kRefused),
                         [](const auto& p) { return std::string(p.param.name); });

} // namespace
