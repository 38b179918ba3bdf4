// The report's first page: the title, the facts of the breaker and the session, the notes
// and the results table.
#include "report/reportbuilder.h"

#include "platform/textformat.h"

#include <QPainter>

#include <map>
#include <set>

namespace qarn3::reportpdf {

void ReportBuilder::title() {
    const SessionVerdict overall = sessionVerdict(m_r.shots);
    const QString line2 =
        q(m_r.site.name + " · " + m_r.breaker.designation + " · " +
          conditionText(m_r.session.condition) + " · " + localTimeText(m_r.session.startedAt) +
          " · " + approvalText(m_r.session));
    const int line = lineHeight(m_title);
    const int h = line + wrappedHeight(m_body, m_device, m_width, line2, kTitleLines) + mm(3);
    add(h, [this, overall, line2, line](QPainter& p, int top) {
        text(p, m_title, QRectF(0, top, m_width * 0.7, line), Qt::AlignLeft | Qt::AlignVCenter,
             "Breaker Test Report");
        text(p, m_title, QRectF(m_width * 0.5, top, m_width * 0.5, line),
             Qt::AlignRight | Qt::AlignVCenter, q(sessionVerdictText(overall)),
             sessionVerdictColour(overall));
        wrappedText(p, m_body, QRectF(0, top + line, m_width, 0), line2, kTitleLines);
    });
}

std::vector<ReportBuilder::Fact> ReportBuilder::breakerFacts() const {
    const BreakerRecord& b = m_r.breaker;
    // Each family once ("Generic T1" is not taken for part of "Generic T10").
    std::string curves;
    std::set<std::string> families;
    for (const TripCurve& c : m_r.curves)
        if (const std::string f = curveFamilyName(c.maker, c.model); families.insert(f).second)
            curves += (curves.empty() ? "" : ", ") + f;
    return {{"Site", m_r.site.name},
            {"Location", b.location},
            {"Breaker", b.designation},
            {"Maker / model", trimText(b.maker + " " + b.model)},
            {"Serial number", b.serial},
            {"Rated current In", ratingText(b.ratedAmps, m_o.decimalSeparator) + " A"},
            {"Trip unit settings", b.settings},
            {"Trip unit",
             m_r.tripUnit ? curveFamilyName(m_r.tripUnit->maker, m_r.tripUnit->model) : "none"},
            {"Curves", curves.empty() ? "none" : curves}};
}

namespace {

// The label of a session's settings in force: "Settings as found", "Settings as left",
// "Settings" for another condition.
std::string settingsLabel(Condition c) {
    switch (c) {
    case Condition::AsFound:
        return "Settings as found";
    case Condition::AsLeft:
        return "Settings as left";
    case Condition::Other:
        break;
    }
    return "Settings";
}

} // namespace

std::vector<ReportBuilder::Fact> ReportBuilder::sessionFacts() const {
    const SessionRecord& s = m_r.session;
    const std::string written = m_o.writtenAt.empty() ? isoUtcNow() : m_o.writtenAt;
    const auto unknown = [](const std::string& v) { return v.empty() ? "unknown" : v; };
    const char sep = m_o.decimalSeparator;
    std::vector<Fact> facts{
        {"Session started", localTimeText(s.startedAt)},
        {"Condition", conditionText(s.condition)},
        {"Operator", s.operatorName},
        {"Analyzer serial number", unknown(s.analyzerSerial)},
        {"Calibration date", unknown(s.analyzerCalDate)},
        {"Report written", localTimeText(written)},
        {settingsLabel(s.condition), settingsShownText(sessionSettingsText(s, m_r.breaker), sep)}};
    if (const auto& paired = m_r.pairedSession)
        facts.push_back({settingsLabel(paired->condition),
                         settingsShownText(sessionSettingsText(*paired, m_r.breaker), sep)});
    return facts;
}

void ReportBuilder::facts() {
    const SessionRecord& s = m_r.session;
    const std::vector<Fact> left = breakerFacts();
    const std::vector<Fact> right = sessionFacts();
    const auto age = sessionCalibrationAge(s);
    std::string warning;
    if (age == CalibrationAge::Overdue)
        warning = "Warning: the calibration was more than a year old on the day of the test";
    else if (age == CalibrationAge::DueSoon)
        warning = "The calibration was due within a month on the day of the test";
    // Each row as high as its longer value: a long name wraps onto further lines.
    const int line = lineHeight(m_body) + mm(0.8);
    const int labelW = mm(38), half = m_width / 2, valueW = half - labelW - mm(3);
    const auto valueHeight = [&](const std::vector<Fact>& facts, std::size_t i) {
        return i < facts.size()
                   ? wrappedHeight(m_body, m_device, valueW, q(facts[i].second), kFactLines)
                   : 0;
    };
    std::vector<int> rowTops{mm(1)};
    for (std::size_t i = 0; i < std::max(left.size(), right.size()); ++i)
        rowTops.push_back(
            rowTops.back() + mm(0.8) +
            std::max({lineHeight(m_body), valueHeight(left, i), valueHeight(right, i)}));
    const int idHeight =
        wrappedHeight(m_body, m_device, m_width - labelW, q(s.id), kFactLines) + mm(0.8);
    const int h = rowTops.back() + idHeight + (warning.empty() ? 0 : line) + mm(2);
    add(h, [=, this](QPainter& p, int top) {
        const auto fact = [&](const Fact& f, int x, int y, int width) {
            text(p, m_label, QRectF(x, y, labelW, line), Qt::AlignLeft | Qt::AlignVCenter,
                 q(f.first), kLabelText);
            wrappedText(p, m_body, QRectF(x + labelW, y + mm(0.4), width, 0), q(f.second),
                        kFactLines);
        };
        for (std::size_t i = 0; i < left.size(); ++i)
            fact(left[i], 0, top + rowTops[i], valueW);
        for (std::size_t i = 0; i < right.size(); ++i)
            fact(right[i], half, top + rowTops[i], valueW);
        const int y = top + rowTops.back();
        fact({"Session", s.id}, 0, y, m_width - labelW);
        if (!warning.empty())
            text(p, m_bold, QRectF(0, y + idHeight, m_width, line),
                 Qt::AlignRight | Qt::AlignVCenter, q(warning),
                 age == CalibrationAge::Overdue ? kFailText : kDoubtText);
    });
}

// Notes a line a block, so that long notes run on to the next page.
void ReportBuilder::notes() {
    const int labelW = mm(38);
    for (const std::string* notes : {&m_r.site.notes, &m_r.session.notes}) {
        if (trimText(*notes).empty()) continue;
        const QString label = notes == &m_r.site.notes ? "Site notes" : "Session notes";
        const QStringList lines =
            wrappedLines(m_body, m_device, m_width - labelW, q(trimText(*notes)), kNotesLines);
        const int lh = static_cast<int>(std::ceil(QFontMetricsF(m_body, m_device).height()));
        for (qsizetype i = 0; i < lines.size(); ++i)
            add(lh + (i + 1 == lines.size() ? mm(1.5) : 0),
                [=, this, line = lines[i]](QPainter& p, int top) {
                    if (i == 0)
                        text(p, m_label, QRectF(0, top, labelW, lh),
                             Qt::AlignLeft | Qt::AlignVCenter, label, kLabelText);
                    drawLines(p, m_body, QPointF(labelW, top), {line});
                });
    }
    // The notes added since, dated: an approved session is corrected this way.
    const int lh = lineHeight(m_body);
    for (std::size_t n = 0; n < m_r.notes.size(); ++n) {
        const SessionNote& note = m_r.notes[n];
        const std::string head =
            localTimeText(note.writtenAt) + (note.author.empty() ? "" : ", " + note.author) + ": ";
        const QStringList lines = wrappedLines(m_body, m_device, m_width - labelW,
                                               q(head + trimText(note.text)), kNotesLines);
        for (qsizetype i = 0; i < lines.size(); ++i)
            add(lh + (i + 1 == lines.size() ? mm(1.5) : 0),
                [=, this, line = lines[i]](QPainter& p, int top) {
                    if (n == 0 && i == 0)
                        text(p, m_label, QRectF(0, top, labelW, lh),
                             Qt::AlignLeft | Qt::AlignVCenter, "Dated notes", kLabelText);
                    drawLines(p, m_body, QPointF(labelW, top), {line});
                });
    }
}

namespace {

constexpr std::array<double, 9> kShare{0.035, 0.05, 0.13, 0.085, 0.22, 0.11, 0.12, 0.115, 0.135};

} // namespace

void ReportBuilder::tableCells(QPainter& p, int top, int h, const TableRow& v, bool head,
                               const QColor& verdict, int ruleAt) const {
    const int rule = ruleAt > 0 ? ruleAt : h;
    double x = 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const double w = m_width * kShare[i];
        const bool last = i + 1 == v.size();
        text(p, head || last ? m_tableBold : m_table, QRectF(x + mm(1), top, w - mm(2), h),
             (i >= 3 && i <= 7 && i != 4 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter,
             q(v[i]),
             head   ? kLabelText
             : last ? verdict
                    : Qt::black);
        x += w;
    }
    p.setPen(QPen(kRule, head ? mm(0.25) : mm(0.1)));
    p.drawLine(0, top + rule, m_width, top + rule);
}

void ReportBuilder::results() {
    heading("Results");
    const std::array<const char*, 9> kHeads{"#",       "Pole",    "Kind",   "Multiple", "Band",
                                            "Current", "Seconds", "Cycles", "Verdict"};
    const int h = lineHeight(m_table) + mm(1.6);
    TableRow heads;
    for (std::size_t i = 0; i < heads.size(); ++i)
        heads[i] = kHeads[i];
    heads[3] = "x In";
    heads[4] = "Band at multiple";
    m_tableHeader = m_blocks.size();
    add(h,
        [this, h, heads](QPainter& p, int top) { tableCells(p, top, h, heads, true, Qt::black); });
    bool offTarget = false, nearPickup = false;
    const char sep = m_o.decimalSeparator;
    const int basisH = lineHeight(m_small) + mm(0.6);
    // An as-left session shows each point's as-found result on a line under its own.
    const bool beside = m_r.session.condition == Condition::AsLeft && !m_r.pairedShots.empty();
    const std::vector<std::optional<std::size_t>> found =
        beside ? asFoundBeside(m_r.shots, m_r.pairedShots)
               : std::vector<std::optional<std::size_t>>(m_r.shots.size());
    for (std::size_t n = 0; n < m_r.shots.size(); ++n) {
        const ShotRow& r = m_r.shots[n];
        const Judgement& j = r.shot.judgement;
        offTarget = offTarget || j.currentOffTarget;
        nearPickup = nearPickup || r.shot.basis.nearPickup;
        const std::string band = bandText(r, m_r.curves, sep);
        const TableRow v{std::to_string(n + 1),
                         poleText(r.point.pole),
                         kindText(r.point.kind),
                         multipleText(r.shot.multiple, sep) + (j.currentOffTarget ? " *" : "") +
                             (r.shot.basis.nearPickup ? " \u2020" : ""),
                         band,
                         currentText(r.shot.reading, sep),
                         secondsText(r.shot.reading.seconds, sep),
                         cyclesText(r.shot.reading.cycles, sep),
                         verdictText(j.verdict)};
        const QColor c = verdictTextColour(verdictClass(j.verdict));
        // Where the band came from, and a note the band cell does not already show, on a
        // small line under the row's cells from its kind on.
        std::string basis = bandBasisText(r.shot, sep);
        if (const std::string& note = r.shot.basis.note; !note.empty() && note != band)
            basis += (basis.empty() ? "" : "; ") + note;
        std::vector<std::pair<QString, QColor>> small;
        if (beside) {
            if (const auto& f = found[n]) {
                const ShotRecord& a = m_r.pairedShots[*f].shot;
                small.emplace_back(q("As found: " + verdictText(a.judgement.verdict) + "  " +
                                     secondsText(a.reading.seconds, sep) + "  " +
                                     currentText(a.reading, sep) + "  band " +
                                     bandText(m_r.pairedShots[*f], m_r.curves, sep)),
                                   verdictTextColour(verdictClass(a.judgement.verdict)));
            } else {
                small.emplace_back("As found: no result", kLabelText);
            }
        }
        if (!basis.empty()) small.emplace_back(q("Basis: " + basis), kLabelText);
        if (small.empty()) {
            add(h, [this, h, v, c](QPainter& p, int top) { tableCells(p, top, h, v, false, c); });
            continue;
        }
        const int extra = basisH * static_cast<int>(small.size());
        add(h + extra, [this, h, basisH, extra, v, c, small](QPainter& p, int top) {
            tableCells(p, top, h, v, false, c, h + extra);
            const double x = m_width * (kShare[0] + kShare[1]) + mm(1);
            int y = top + h - mm(0.6);
            for (const auto& [shown, colour] : small) {
                text(p, m_small, QRectF(x, y, m_width - x - mm(1), basisH),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetricsF(m_small, m_device)
                         .elidedText(shown, Qt::ElideRight, m_width - x - mm(1)),
                     colour);
                y += basisH;
            }
        });
    }
    overallVerdict(offTarget, nearPickup);
    m_tableRows = m_r.shots.size();
}

// The overall verdict, with the count of each verdict.
void ReportBuilder::overallVerdict(bool offTarget, bool nearPickup) {
    std::map<std::string, int> counts;
    for (const ShotRow& r : m_r.shots)
        ++counts[verdictText(r.shot.judgement.verdict)];
    std::string tally;
    for (const auto& [verdict, count] : counts)
        tally += (tally.empty() ? "" : ", ") + std::to_string(count) + " " + verdict;
    const SessionVerdict overall = sessionVerdict(m_r.shots);
    const std::string summary = "Overall verdict: " + sessionVerdictText(overall) +
                                (m_r.shots.empty() ? "" : " (" + tally + ")");
    std::vector<std::string> notes;
    if (offTarget)
        notes.push_back("* current off target: the measured multiple is outside the test "
                        "point's tolerance of its target");
    if (nearPickup)
        notes.push_back("\u2020 current near pickup: a function's pickup tolerance holds the "
                        "current; it may or may not act");
    const int lh = lineHeight(m_bold) + mm(1.5);
    add(lh * static_cast<int>(1 + notes.size()) + mm(1), [=, this](QPainter& p, int top) {
        text(p, m_bold, QRectF(0, top + mm(1), m_width, lh), Qt::AlignLeft | Qt::AlignVCenter,
             q(summary), sessionVerdictColour(overall));
        int y = top + mm(1) + lh;
        for (const std::string& note : notes) {
            text(p, m_small, QRectF(0, y, m_width, lh), Qt::AlignLeft | Qt::AlignVCenter, q(note),
                 kLabelText);
            y += lh;
        }
    });
}

} // namespace qarn3::reportpdf
