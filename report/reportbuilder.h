#pragma once

#include "report/pagelayout.h"
#include "report/reportdrawing.h"
#include "report/reportwriter.h"

#include <QFontMetricsF>

#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class QPdfWriter;

namespace qarn3::reportpdf {

// The report's pieces and their sizes on the writer's pages.
class ReportBuilder {
public:
    ReportBuilder(const SessionReport& r, const ReportOptions& o, QPdfWriter& w);

    std::vector<PageBlock> build();
    void footer(QPainter& p, int page, int pages, int pageHeight) const;
    int footerHeight() const { return lineHeight(m_small) * 2; }

private:
    using Fact = std::pair<std::string, std::string>;
    using TableRow = std::array<std::string, 9>;

    int lineHeight(const QFont& f) const {
        return static_cast<int>(std::ceil(QFontMetricsF(f, m_device).height()));
    }
    void add(int height, std::function<void(QPainter&, int)> draw, bool keepWithNext = false) {
        m_blocks.push_back({height, std::move(draw), keepWithNext, nullptr});
    }
    void heading(const std::string& title);
    void title();
    std::vector<Fact> breakerFacts() const;
    std::vector<Fact> sessionFacts() const;
    void facts();
    void notes();
    void results();
    // The row's cells, h high, with the rule under them, or ruleAt below top when a line
    // follows them.
    void tableCells(QPainter& p, int top, int h, const TableRow& v, bool head,
                    const QColor& verdict, int ruleAt = 0) const;
    void overallVerdict(bool offTarget, bool nearPickup);
    void plot();
    void snapshots();
    void signatures();

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

} // namespace qarn3::reportpdf
