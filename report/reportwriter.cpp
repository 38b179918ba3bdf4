#include "report/reportwriter.h"

#include "platform/bidicontrols.h"
#include "platform/files.h"
#include "platform/textformat.h"
#include "report/pagelayout.h"
#include "report/paintercanvas.h"
#include "report/reportbuilder.h"
#include "report/sessionplot.h"
#include "report/snapshot.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <array>

namespace qarn3 {

namespace reportpdf {

ReportBuilder::ReportBuilder(const SessionReport& r, const ReportOptions& o, QPdfWriter& w)
    : m_r(r), m_o(o), m_width(w.width()), m_device(&w) {}

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
    notes();
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

} // namespace reportpdf

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
    writer.setResolution(reportpdf::kDpi);
    writer.setPageSize(QPageSize(options.pageSize));
    writer.setPageMargins(QMarginsF(15, 15, 15, 12), QPageLayout::Millimeter);
    const auto shown = [](const std::string& s) {
        const QString t = QString::fromStdString(showBidiControls(s));
        return t.left(t.size() > 200 && t[199].isHighSurrogate() ? 199 : 200);
    };
    writer.setTitle("Breaker test report: " + shown(report.site.name) + ", " +
                    shown(report.breaker.designation));
    writer.setCreator("QARN3 qarn3-records");

    reportpdf::ReportBuilder builder(report, options, writer);
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
