#include "report/historyplot.h"

#include "records/sessionreport.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace qarn3 {

namespace {

std::string percentLabel(double percent) {
    return std::to_string(static_cast<long>(std::lround(percent))) + " %";
}

} // namespace

HistoryPlot historyPlotOf(const std::vector<HistoryPoint>& points) {
    HistoryPlot plot;
    // The sessions in order of their start, each once.
    std::vector<std::pair<std::string, std::string>> sessions; // start, id
    for (const HistoryPoint& p : points)
        sessions.emplace_back(p.startedAt, p.sessionId);
    std::sort(sessions.begin(), sessions.end());
    sessions.erase(std::unique(sessions.begin(), sessions.end()), sessions.end());
    std::map<std::string, int> place;
    for (const auto& [start, id] : sessions) {
        place.emplace(id, static_cast<int>(plot.sessions.size()));
        plot.sessions.push_back(localTimeText(start).substr(0, 10));
    }
    for (const HistoryPoint& p : points) {
        auto panel = std::find_if(plot.panels.begin(), plot.panels.end(),
                                  [&](const HistoryPanel& k) { return k.kind == p.kind; });
        if (panel == plot.panels.end()) {
            plot.panels.push_back({p.kind, kindText(p.kind), {}, 0, 100});
            panel = plot.panels.end() - 1;
        }
        auto line = std::find_if(panel->lines.begin(), panel->lines.end(),
                                 [&](const HistoryLine& l) { return l.pole == p.pole; });
        if (line == panel->lines.end()) {
            panel->lines.push_back({p.pole, {}});
            line = panel->lines.end() - 1;
        }
        HistoryMark m;
        m.session = place.at(p.sessionId);
        m.percent = p.position * 100;
        m.outside = m.percent < 0 || m.percent > 100;
        m.movedTowardEdge = p.movedTowardEdge;
        if (m.outside) m.label = percentLabel(m.percent);
        line->marks.push_back(m);
    }
    for (HistoryPanel& panel : plot.panels) {
        std::sort(panel.lines.begin(), panel.lines.end(),
                  [](const HistoryLine& a, const HistoryLine& b) { return a.pole < b.pole; });
        double low = -10, high = 110;
        for (HistoryLine& line : panel.lines) {
            std::sort(
                line.marks.begin(), line.marks.end(),
                [](const HistoryMark& a, const HistoryMark& b) { return a.session < b.session; });
            for (const HistoryMark& m : line.marks) {
                if (m.percent < low) low = std::floor(m.percent / 25) * 25;
                if (m.percent > high) high = std::ceil(m.percent / 25) * 25;
            }
        }
        panel.low = std::max(low, kHistoryLowest);
        panel.high = std::min(high, kHistoryHighest);
        for (HistoryLine& line : panel.lines)
            for (HistoryMark& m : line.marks) {
                m.shownPercent = std::clamp(m.percent, panel.low, panel.high);
                m.clipped = m.shownPercent != m.percent;
            }
    }
    return plot;
}

double historyX(int session, int sessions, double left, double width) {
    if (sessions <= 1) return left + width / 2;
    return left + width * session / (sessions - 1);
}

double historyY(double percent, double low, double high, double top, double height) {
    if (high <= low) return top + height / 2;
    return top + height * (high - std::clamp(percent, low, high)) / (high - low);
}

} // namespace qarn3
