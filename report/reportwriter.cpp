#include "report/reportwriter.h"

#include "platform/bidicontrols.h"
#include "platform/files.h"
#include "platform/textformat.h"
#include "report/pagelayout.h"
#include "report/paintercanvas.h"
#include "report/sessionplot.h"
#include "report/snapshot.h"

#include <QBuffer>
#include <QDateTime>
#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>

#include <array>
#include <cmath>
#include <map>
#include <set>

namespace qarn3 {

namespace {

constexpr int kDpi = 300; // device units of the pages: the plots' print resolution

int mm(double v) {
    return static_cast<int>(std::lround(v * kDpi / 25.4));
}

// Every text of the report, names among them, with their bidirectional controls written out:
// a name that reorders itself could print as another site's.
QString q(const std::string& s) {
    return QString::fromStdString(showBidiControls(s));
}

// How many lines a field may take before it is cut short: a name or a setting a few lines
// of its column, the heading's line of names three, notes about three pages. A field as
// long as a file (a 20 kB name) still leaves the page to the rest of the report.
constexpr int kFactLines = 6, kTitleLines = 3, kNotesLines = 180;

const QColor kPassText(0, 128, 0), kFailText(200, 0, 0), kDoubtText(176, 112, 0);
const QColor kLabelText(90, 90, 90), kRule(160, 160, 160);

QColor verdictTextColour(VerdictClass c) {
    return c == VerdictClass::Pass ? kPassText : c == VerdictClass::Fail ? kFailText : kDoubtText;
}

QFont font(double points, bool bold = false) {
    QFont f("DejaVu Sans");
    f.setStyleHint(QFont::SansSerif);
    // No ligatures: "off" stays three letters in the PDF's text, so that it can be searched.
    f.setStyleStrategy(QFont::PreferNoShaping);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

// The line cut short to end in an ellipsis within width.
QString withEllipsis(const QFontMetricsF& fm, double width, QString line) {
    const QString ellipsis(QChar(0x2026));
    while (!line.isEmpty() && fm.horizontalAdvance(line + ellipsis) > width) {
        line.chop(line.size() > 1 && line.back().isLowSurrogate() ? 2 : 1);
    }
    return line.trimmed() + ellipsis;
}

// Text broken into lines of at most width: at its line breaks, at word boundaries, inside a
// word only where it is longer than a line (a serial number). A blank line stays. Beyond
// maxLines the text is cut, the last line kept ending in an ellipsis.
QStringList wrappedLines(const QFont& f, QPaintDevice* device, double width, const QString& s,
                         int maxLines) {
    QStringList lines;
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    const QStringList paragraphs = QString(s).remove('\r').split('\n');
    for (qsizetype n = 0; n < paragraphs.size(); ++n) {
        const QString& paragraph = paragraphs[n];
        if (lines.size() == maxLines) {
            lines.back() = withEllipsis(QFontMetricsF(f, device), width, lines.back());
            break;
        }
        QTextLayout layout(paragraph, f, device);
        layout.setTextOption(option);
        layout.beginLayout();
        const qsizetype before = lines.size();
        bool cut = false;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            if (lines.size() == maxLines) {
                cut = true;
                break;
            }
            line.setLineWidth(width);
            lines.push_back(paragraph.mid(line.textStart(), line.textLength()).trimmed());
        }
        layout.endLayout();
        if (cut) {
            lines.back() = withEllipsis(QFontMetricsF(f, device), width, lines.back());
            break;
        }
        if (lines.size() == before) lines.push_back({});
    }
    return lines;
}

// The height of text wrapped to width on the device.
int wrappedHeight(const QFont& f, QPaintDevice* device, double width, const QString& s,
                  int maxLines) {
    const double line = QFontMetricsF(f, device).height();
    const auto count = static_cast<double>(wrappedLines(f, device, width, s, maxLines).size());
    return static_cast<int>(std::ceil(count * line));
}

// Lines drawn one below the other from a top left corner.
void drawLines(QPainter& p, const QFont& f, QPointF at, const QStringList& lines,
               const QColor& colour = Qt::black) {
    p.setFont(f);
    p.setPen(colour);
    const QFontMetricsF fm(f, p.device());
    for (const QString& line : lines) {
        p.drawText(QPointF(at.x(), at.y() + fm.ascent()), line);
        at.ry() += fm.height();
    }
}

// Draws text wrapped to the rectangle's width from its top left, in at most maxLines.
void wrappedText(QPainter& p, const QFont& f, const QRectF& r, const QString& s, int maxLines,
                 const QColor& colour = Qt::black) {
    drawLines(p, f, r.topLeft(), wrappedLines(f, p.device(), r.width(), s, maxLines), colour);
}

// Draws text in a rectangle, cut short with an ellipsis when it does not fit.
void text(QPainter& p, const QFont& f, const QRectF& r, int flags, const QString& s,
          const QColor& colour = Qt::black) {
    p.setFont(f);
    p.setPen(colour);
    const QFontMetricsF fm(f, p.device());
    p.drawText(r, flags | Qt::TextSingleLine, fm.elidedText(s, Qt::ElideRight, r.width()));
}

// The report's pieces and their sizes on the writer's pages.
class ReportBuilder {
public:
    ReportBuilder(const SessionReport& r, const ReportOptions& o, QPdfWriter& w)
        : m_r(r), m_o(o), m_width(w.width()), m_device(&w) {}

    std::vector<PageBlock> build();
    void footer(QPainter& p, int page, int pages, int pageHeight) const;
    int footerHeight() const { return lineHeight(m_small) * 2; }

private:
    int lineHeight(const QFont& f) const {
        return static_cast<int>(std::ceil(QFontMetricsF(f, m_device).height()));
    }
    void add(int height, std::function<void(QPainter&, int)> draw, bool keepWithNext = false) {
        m_blocks.push_back({height, std::move(draw), keepWithNext, nullptr});
    }
    void heading(const std::string& title);
    void title();
    void facts();
    void results();
    void plot();
    void snapshots();
    void signatures();
    std::string sep(double v, int decimals) const {
        return formatFixed(v, 0, decimals, m_o.decimalSeparator);
    }

    const SessionReport& m_r;
    const ReportOptions& m_o;
    int m_width;
    QPaintDevice* m_device;
    QFont m_title = font(16, true), m_heading = font(11, true), m_body = font(9),
          m_bold = font(9, true), m_label = font(8), m_table = font(8), m_tableBold = font(8, true),
          m_small = font(7);
    std::vector<PageBlock> m_blocks;
    std::size_t m_tableHeader = 0; // index of the results table's header block
    std::size_t m_tableRows = 0;   // the rows after it
};

void ReportBuilder::heading(const std::string& title) {
    const int h = lineHeight(m_heading) + mm(4);
    add(
        h,
        [this, title, h](QPainter& p, int top) {
            text(p, m_heading, QRectF(0, top + mm(2), m_width, h - mm(3)),
                 Qt::AlignLeft | Qt::AlignBottom, q(title));
            p.setPen(QPen(kRule, mm(0.2)));
            p.drawLine(0, top + h - mm(0.5), m_width, top + h - mm(0.5));
        },
        true);
}

void ReportBuilder::title() {
    const SessionVerdict overall = sessionVerdict(m_r.shots);
    const QString line2 =
        q(m_r.site.name + " · " + m_r.breaker.designation + " · " +
          conditionText(m_r.session.condition) + " · " + localTimeText(m_r.session.startedAt));
    const int line = lineHeight(m_title);
    const int h = line + wrappedHeight(m_body, m_device, m_width, line2, kTitleLines) + mm(3);
    add(h, [this, overall, line2, line](QPainter& p, int top) {
        text(p, m_title, QRectF(0, top, m_width * 0.7, line), Qt::AlignLeft | Qt::AlignVCenter,
             "Breaker Test Report");
        const QColor c = overall == SessionVerdict::Pass   ? kPassText
                         : overall == SessionVerdict::Fail ? kFailText
                                                           : kDoubtText;
        text(p, m_title, QRectF(m_width * 0.5, top, m_width * 0.5, line),
             Qt::AlignRight | Qt::AlignVCenter, q(sessionVerdictText(overall)), c);
        wrappedText(p, m_body, QRectF(0, top + line, m_width, 0), line2, kTitleLines);
    });
}

void ReportBuilder::facts() {
    const BreakerRecord& b = m_r.breaker;
    const SessionRecord& s = m_r.session;
    // Each family once ("Generic T1" is not taken for part of "Generic T10").
    std::string curves;
    std::set<std::string> families;
    for (const TripCurve& c : m_r.curves)
        if (const std::string f = curveFamilyName(c.maker, c.model); families.insert(f).second)
            curves += (curves.empty() ? "" : ", ") + f;
    const std::string written = m_o.writtenAt.empty() ? isoUtcNow() : m_o.writtenAt;
    const auto unknown = [](const std::string& v) { return v.empty() ? "unknown" : v; };
    using Fact = std::pair<std::string, std::string>;
    const std::vector<Fact> left{
        {"Site", m_r.site.name},
        {"Location", b.location},
        {"Breaker", b.designation},
        {"Maker / model", trimText(b.maker + " " + b.model)},
        {"Serial number", b.serial},
        {"Rated current In", ratingText(b.ratedAmps, m_o.decimalSeparator) + " A"},
        {"Trip unit settings", b.settings},
        {"Curves", curves.empty() ? "none" : curves}};
    const std::vector<Fact> right{{"Session started", localTimeText(s.startedAt)},
                                  {"Condition", conditionText(s.condition)},
                                  {"Operator", s.operatorName},
                                  {"Analyzer serial number", unknown(s.analyzerSerial)},
                                  {"Calibration date", unknown(s.analyzerCalDate)},
                                  {"Report written", localTimeText(written)}};
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
    // Notes a line a block, so that long notes run on to the next page.
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
}

void ReportBuilder::results() {
    heading("Results");
    static constexpr std::array<double, 9> kShare{0.04, 0.05, 0.135, 0.07, 0.22,
                                                  0.11, 0.12, 0.115, 0.14};
    const std::array<const char*, 9> kHeads{"#",       "Pole",    "Kind",   "Multiple", "Band",
                                            "Current", "Seconds", "Cycles", "Verdict"};
    const auto cells = [this](QPainter& p, int top, int h, const std::array<std::string, 9>& v,
                              bool head, const QColor& verdict) {
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
        p.drawLine(0, top + h, m_width, top + h);
    };
    const int h = lineHeight(m_table) + mm(1.6);
    std::array<std::string, 9> heads;
    for (std::size_t i = 0; i < heads.size(); ++i)
        heads[i] = kHeads[i];
    heads[3] = "x In";
    heads[4] = "Band at multiple";
    m_tableHeader = m_blocks.size();
    add(h, [=](QPainter& p, int top) { cells(p, top, h, heads, true, Qt::black); });
    bool offTarget = false;
    const char sep = m_o.decimalSeparator;
    for (std::size_t n = 0; n < m_r.shots.size(); ++n) {
        const ShotRow& r = m_r.shots[n];
        const Judgement& j = r.shot.judgement;
        offTarget = offTarget || j.currentOffTarget;
        const std::array<std::string, 9> v{std::to_string(n + 1),
                                           poleText(r.point.pole),
                                           kindText(r.point.kind),
                                           multipleText(r.shot.multiple, sep) +
                                               (j.currentOffTarget ? " *" : ""),
                                           bandText(r, m_r.curves, sep),
                                           currentText(r.shot.reading, sep),
                                           secondsText(r.shot.reading.seconds, sep),
                                           cyclesText(r.shot.reading.cycles, sep),
                                           verdictText(j.verdict)};
        const QColor c = verdictTextColour(verdictClass(j.verdict));
        add(h, [=](QPainter& p, int top) { cells(p, top, h, v, false, c); });
    }
    // The overall verdict, with the count of each verdict.
    std::map<std::string, int> counts;
    for (const ShotRow& r : m_r.shots)
        ++counts[verdictText(r.shot.judgement.verdict)];
    std::string tally;
    for (const auto& [verdict, count] : counts)
        tally += (tally.empty() ? "" : ", ") + std::to_string(count) + " " + verdict;
    const SessionVerdict overall = sessionVerdict(m_r.shots);
    const std::string summary = "Overall verdict: " + sessionVerdictText(overall) +
                                (m_r.shots.empty() ? "" : " (" + tally + ")");
    const std::string note =
        offTarget ? "* current off target: the measured multiple is outside the test "
                    "point's tolerance of its target"
                  : "";
    const int lh = lineHeight(m_bold) + mm(1.5);
    add(lh * (note.empty() ? 1 : 2) + mm(1), [=, this](QPainter& p, int top) {
        const QColor c = overall == SessionVerdict::Pass   ? kPassText
                         : overall == SessionVerdict::Fail ? kFailText
                                                           : kDoubtText;
        text(p, m_bold, QRectF(0, top + mm(1), m_width, lh), Qt::AlignLeft | Qt::AlignVCenter,
             q(summary), c);
        if (!note.empty())
            text(p, m_small, QRectF(0, top + mm(1) + lh, m_width, lh),
                 Qt::AlignLeft | Qt::AlignVCenter, q(note), kLabelText);
    });
    m_tableRows = m_r.shots.size();
}

void ReportBuilder::plot() {
    heading("Time-current plot");
    const TimeCurrentPlot data = timeCurrentOf(m_r, m_o.decimalSeparator);
    const char separator = m_o.decimalSeparator;
    add(mm(118), [this, data, separator](QPainter& p, int top) {
        PainterCanvas canvas(p, QRect(0, top + mm(2), m_width, mm(114)), 1.5);
        PlotEngine engine;
        engine.setDecimalSeparator(separator);
        drawTimeCurrent(engine, canvas, data, paperStyle());
    });
}

void ReportBuilder::snapshots() {
    const char sep = m_o.decimalSeparator;
    for (std::size_t n = 0; n < m_r.shots.size(); ++n) {
        const ShotRow& r = m_r.shots[n];
        const ShotReading& g = r.shot.reading;
        const std::string reading =
            std::to_string(n + 1) + "   " + poleText(r.point.pole) + " " + kindText(r.point.kind) +
            "   " + currentText(g, sep) + "   " + secondsText(g.seconds, sep) + "   " +
            cyclesText(g.cycles, sep) + "   " + verdictText(r.shot.judgement.verdict);
        std::string source = g.source.empty() ? "captured" : bareFileName(g.source);
        if (g.pulse > 0) source += ", pulse " + std::to_string(g.pulse);
        WaveformSnapshot snap;
        std::string why = "no waveform stored";
        const auto bytes = m_r.waveforms.find(r.shot.waveformId);
        const bool drawn = bytes != m_r.waveforms.end() && snapshotOf(bytes->second, g, snap, why);
        const int line = lineHeight(m_bold) + mm(1);
        const int plotH = drawn ? mm(46) : line;
        const QColor c = verdictTextColour(verdictClass(r.shot.judgement.verdict));
        if (n == 0) heading("Waveforms");
        add(line + plotH + mm(3), [=, this](QPainter& p, int top) {
            text(p, m_bold, QRectF(0, top + mm(1), m_width * 0.75, line),
                 Qt::AlignLeft | Qt::AlignVCenter, q(reading), c);
            text(p, m_small, QRectF(m_width * 0.6, top + mm(1), m_width * 0.4, line),
                 Qt::AlignRight | Qt::AlignVCenter, q(source), kLabelText);
            if (!drawn) {
                text(p, m_body, QRectF(0, top + mm(1) + line, m_width, line),
                     Qt::AlignLeft | Qt::AlignVCenter, q("No snapshot: " + why), kLabelText);
                return;
            }
            PainterCanvas canvas(p, QRect(0, top + mm(1) + line, m_width, plotH), 1.5);
            PlotEngine engine;
            engine.setDecimalSeparator(sep);
            drawSnapshot(engine, canvas, snap, paperStyle());
        });
    }
}

void ReportBuilder::signatures() {
    heading("Signatures");
    const int line = lineHeight(m_body);
    add(mm(36), [this, line](QPainter& p, int top) {
        const int half = m_width / 2;
        const std::array<const char*, 2> roles{"Tested by", "Accepted by"};
        for (int col = 0; col < 2; ++col) {
            const int x = col * half;
            text(p, m_bold, QRectF(x, top + mm(2), half - mm(6), line),
                 Qt::AlignLeft | Qt::AlignVCenter, roles[static_cast<std::size_t>(col)]);
            const std::array<const char*, 3> fields{"Name", "Signature", "Date"};
            for (int i = 0; i < 3; ++i) {
                const int y = top + mm(12) + i * mm(8);
                text(p, m_label, QRectF(x, y - line, mm(22), line), Qt::AlignLeft | Qt::AlignBottom,
                     fields[static_cast<std::size_t>(i)], kLabelText);
                p.setPen(QPen(Qt::black, mm(0.15)));
                p.drawLine(x + mm(22), y, x + half - mm(8), y);
            }
        }
    });
}

std::vector<PageBlock> ReportBuilder::build() {
    title();
    facts();
    results();
    plot();
    snapshots();
    signatures();
    // The table's rows point at its header once no block moves any more; the vector's move
    // keeps them where they are.
    for (std::size_t i = 1; i <= m_tableRows; ++i)
        m_blocks[m_tableHeader + i].header = &m_blocks[m_tableHeader];
    return std::move(m_blocks);
}

void ReportBuilder::footer(QPainter& p, int page, int pages, int pageHeight) const {
    const int h = footerHeight();
    const int top = pageHeight - h;
    p.setPen(QPen(kRule, mm(0.15)));
    p.drawLine(0, top + h / 4, m_width, top + h / 4);
    const QRectF r(0, top + h / 3, m_width, h * 2 / 3);
    // Each name cut to its share, so that a long one leaves the session's time in view.
    const QFontMetricsF fm(m_small, p.device());
    const auto name = [&](const std::string& s, double share) {
        return fm.elidedText(q(s), Qt::ElideRight, m_width * share);
    };
    text(p, m_small, QRectF(r.x(), r.y(), r.width() * 0.75, r.height()),
         Qt::AlignLeft | Qt::AlignVCenter,
         "Breaker test report · " + name(m_r.site.name, 0.25) + " · " +
             name(m_r.breaker.designation, 0.15) + " · session " +
             q(localTimeText(m_r.session.startedAt)),
         kLabelText);
    text(p, m_small, r, Qt::AlignRight | Qt::AlignVCenter,
         q("Page " + std::to_string(page) + " of " + std::to_string(pages)), kLabelText);
}

} // namespace

QPageSize::PageSizeId pageSizeForLocale(const QLocale& locale) {
    if (locale.measurementSystem() == QLocale::ImperialUSSystem) return QPageSize::Letter;
    static constexpr std::array kLetter{
        QLocale::UnitedStates, QLocale::Canada,           QLocale::Mexico,     QLocale::Philippines,
        QLocale::Chile,        QLocale::Colombia,         QLocale::Venezuela,  QLocale::Guatemala,
        QLocale::CostaRica,    QLocale::Panama,           QLocale::PuertoRico, QLocale::ElSalvador,
        QLocale::Nicaragua,    QLocale::DominicanRepublic};
    return std::find(kLetter.begin(), kLetter.end(), locale.territory()) != kLetter.end()
               ? QPageSize::Letter
               : QPageSize::A4;
}

std::string writeReportPdf(const SessionReport& report, const ReportOptions& options,
                           QIODevice& out) {
    QPdfWriter writer(&out);
    writer.setResolution(kDpi);
    writer.setPageSize(QPageSize(options.pageSize));
    writer.setPageMargins(QMarginsF(15, 15, 15, 12), QPageLayout::Millimeter);
    const auto shown = [](const std::string& s) {
        const QString t = QString::fromStdString(showBidiControls(s));
        return t.left(t.size() > 200 && t[199].isHighSurrogate() ? 199 : 200);
    };
    writer.setTitle("Breaker test report: " + shown(report.site.name) + ", " +
                    shown(report.breaker.designation));
    writer.setCreator("QARN3 qarn3-records");

    ReportBuilder builder(report, options, writer);
    const std::vector<PageBlock> blocks = builder.build();
    const int pageHeight = writer.height();
    const std::vector<PlacedBlock> placed =
        layOutPages(blocks, pageHeight - builder.footerHeight());
    const int pages = pageCount(placed);

    QPainter painter;
    if (!painter.begin(&writer)) return "the PDF could not be started";
    std::size_t next = 0;
    for (int page = 0; page < pages; ++page) {
        if (page > 0 && !writer.newPage()) return "the PDF could not take a new page";
        for (; next < placed.size() && placed[next].page == page; ++next)
            placed[next].block->draw(painter, placed[next].top);
        builder.footer(painter, page + 1, pages, pageHeight);
    }
    if (!painter.end()) return "the PDF could not be finished";
    return {};
}

std::string writeReportFile(const SessionReport& report, const ReportOptions& options,
                            const std::string& path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (std::string e = writeReportPdf(report, options, buffer); !e.empty()) return e;
    buffer.close();
    std::string error;
    FileStore files;
    if (!files.replaceContents(path, bytes.toStdString(), error))
        return "Cannot write " + path + ": " + error;
    return {};
}

} // namespace qarn3
