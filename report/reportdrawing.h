#pragma once

#include "records/sessionreport.h"
#include "records/verdict.h"

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <string>

class QPainter;
class QPaintDevice;

// The report's page units, fonts, colours and text drawing, shared by its builders.
namespace qarn3::reportpdf {

constexpr int kDpi = 300; // device units of the pages: the plots' print resolution

int mm(double v);

// Every text of the report, names among them, with their bidirectional controls written out:
// a name that reorders itself could print as another site's.
QString q(const std::string& s);

// How many lines a field may take before it is cut short: a name or a setting a few lines
// of its column, the heading's line of names three, notes about three pages. A field as
// long as a file (a 20 kB name) still leaves the page to the rest of the report.
constexpr int kFactLines = 6, kTitleLines = 3, kNotesLines = 180;

inline const QColor kPassText(0, 128, 0), kFailText(200, 0, 0), kDoubtText(176, 112, 0);
inline const QColor kLabelText(90, 90, 90), kRule(160, 160, 160);

QColor verdictTextColour(VerdictClass c);
QColor sessionVerdictColour(SessionVerdict v);

QFont font(double points, bool bold = false);

// Text broken into lines of at most width: at its line breaks, at word boundaries, inside a
// word only where it is longer than a line (a serial number). A blank line stays. Beyond
// maxLines the text is cut, the last line kept ending in an ellipsis.
QStringList wrappedLines(const QFont& f, QPaintDevice* device, double width, const QString& s,
                         int maxLines);
// The height of text wrapped to width on the device.
int wrappedHeight(const QFont& f, QPaintDevice* device, double width, const QString& s,
                  int maxLines);
// Lines drawn one below the other from a top left corner.
void drawLines(QPainter& p, const QFont& f, QPointF at, const QStringList& lines,
               const QColor& colour = Qt::black);
// Draws text wrapped to the rectangle's width from its top left, in at most maxLines.
void wrappedText(QPainter& p, const QFont& f, const QRectF& r, const QString& s, int maxLines,
                 const QColor& colour = Qt::black);
// Draws text in a rectangle, cut short with an ellipsis when it does not fit.
void text(QPainter& p, const QFont& f, const QRectF& r, int flags, const QString& s,
          const QColor& colour = Qt::black);

} // namespace qarn3::reportpdf
