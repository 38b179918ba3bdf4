// The test record panel's trip unit: the profile chosen, the settings as values, and what the
// test point's target comes to under them.
#include "recordswindows/testrecordpanel.h"

#include "platform/textformat.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <algorithm>

namespace qarn3 {

void TestRecordPanel::fillTripUnits(RecordsDatabase& db, RecordsError& e) {
    const QVariant chosen = cbTripUnit->currentData();
    m_tripUnits = TripUnitLibrary(db).profiles(e);
    cbTripUnit->clear();
    cbTripUnit->addItem("(none)");
    for (const StoredTripUnit& u : m_tripUnits)
        cbTripUnit->addItem(shownText(u.name()), QString::fromStdString(u.name()));
    cbTripUnit->setCurrentIndex(chosen.isValid() ? std::max(0, cbTripUnit->findData(chosen)) : 0);
}

void TestRecordPanel::showTripUnit(const std::string& id) {
    const auto at = std::find_if(m_tripUnits.begin(), m_tripUnits.end(),
                                 [&](const StoredTripUnit& u) { return u.id == id; });
    cbTripUnit->setCurrentIndex(
        id.empty() || at == m_tripUnits.end()
            ? 0
            : std::max(0, cbTripUnit->findData(QString::fromStdString(at->name()))));
}

const StoredTripUnit* TestRecordPanel::chosenTripUnit() const {
    const QVariant name = cbTripUnit->currentData();
    if (cbTripUnit->currentIndex() <= 0 || !name.isValid()) return nullptr;
    const auto at = std::find_if(m_tripUnits.begin(), m_tripUnits.end(), [&](const auto& u) {
        return u.name() == name.toString().toStdString();
    });
    return at == m_tripUnits.end() ? nullptr : &*at;
}

void TestRecordPanel::showTripSettings(const std::string& settings) {
    ebTripSettings->setText(QString::fromStdString(settings));
    m_tripSettingsEdited = false;
    updateTarget();
}

void TestRecordPanel::updateTarget() {
    const TestRecordFields f = fields();
    const char separator = m_host.decimalSeparator;
    TripUnitSettings values;
    std::string stored;
    BandSources sources;
    if (!readTripSettingsField(f, values, stored) && !stored.empty()) sources.settings = values;
    if (const StoredTripUnit* u = chosenTripUnit()) sources.profile = u->profile;

    FieldError e;
    TestPointRecord p;
    p.kind = f.kind;
    std::string amps, band;
    const auto rating = fieldNumber("rating", f.rating, separator, e);
    const auto target = parseTargetText(f.multiple, separator, e);
    const auto multiple =
        target ? targetMultiple(values, target->of, target->factor, e) : std::nullopt;
    if (multiple) {
        p.targetOf = target->of;
        p.targetFactor = target->factor;
        p.multiple = *multiple;
        // The band is the settings' only when no other is given.
        if (f.bandSource == BandSource::Typed) p.band = Band{};
        p.mustNotTrip = f.bandSource == BandSource::MustNotTrip;
        const TargetPreview t = targetPreview(p, sources, rating.value_or(0), separator);
        amps = t.amps;
        if (!t.band.empty())
            band = "Band " + t.band + (t.basis.empty() ? "" : " (" + t.basis + ")");
    } else if (target) {
        amps = e.message; // the setting the target needs
    }
    lbTargetAmps->setText(shownText(amps));
    lbTargetBand->setText(shownText(band));
}

} // namespace qarn3
