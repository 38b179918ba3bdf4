#include "report/reportdrawing.h"

#include "platform/bidicontrols.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <cmath>

namespace qarn3::reportpdf {

namespace {

// The line cut short to end in an ellipsis within width.
QString withEllipsis(const QFontMetricsF& fm, double width, QString line) {
    const QString ellipsis(QChar(0x2026));
    while (!line.isEmpty() && fm.horizontalAdvance(line + ellipsis) > width) {
        line.chop(line.size() > 1 && line.back().isLowSurrogate() ? 2 : 1);
    }
    return line.trimmed() + ellipsis;
}

} // namespace

int mm(double v) {
    return static_cast<int>(std::lround(v * kDpi / 25.4));
}

QString q(const std::string& s) {
    return QString::fromStdString(showBidiControls(s));
}

QColor verdictTextColour(VerdictClass c) {
    return c == VerdictClass::Pass ? kPassText : c == VerdictClass::Fail ? kFailText : kDoubtText;
}

QFont font(double points, bool bold) {
    QFont f("DejaVu Sans");
    f.setStyleHint(QFont::SansSerif);
    // No ligatures: "off" stays three letters in the PDF's text, so that it can be searched.
    f.setStyleStrategy(QFont::PreferNoShaping);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

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

int wrappedHeight(const QFont& f, QPaintDevice* device, double width, const QString& s,
                  int maxLines) {
    const double line = QFontMetricsF(f, device).height();
    const auto count = static_cast<double>(wrappedLines(f, device, width, s, maxLines).size());
    return static_cast<int>(std::ceil(count * line));
}

void drawLines(QPainter& p, const QFont& f, QPointF at, const QStringList& lines,
               const QColor& colour) {
    p.setFont(f);
    p.setPen(colour);
    const QFontMetricsF fm(f, p.device());
    for (const QString& line : lines) {
        p.drawText(QPointF(at.x(), at.y() + fm.ascent()), line);
        at.ry() += fm.height();
    }
}

void wrappedText(QPainter& p, const QFont& f, const QRectF& r, const QString& s, int maxLines,
                 const QColor& colour) {
    drawLines(p, f, r.topLeft(), wrappedLines(f, p.device(), r.width(), s, maxLines), colour);
}

void text(QPainter& p, const QFont& f, const QRectF& r, int flags, const QString& s,
          const QColor& colour) {
    p.setFont(f);
    p.setPen(colour);
    const QFontMetricsF fm(f, p.device());
    p.drawText(r, flags | Qt::TextSingleLine, fm.elidedText(s, Qt::ElideRight, r.width()));
}

QColor sessionVerdictColour(SessionVerdict v) {
    return v == SessionVerdict::Pass   ? kPassText
           : v == SessionVerdict::Fail ? kFailText
                                       : kDoubtText;
}

} // namespace qarn3::reportpdf
