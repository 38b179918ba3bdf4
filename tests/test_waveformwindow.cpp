#include "waveform/waveformwindow.h"

#include "record_fixture.h"
#include "waveform/plotwidget.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

using namespace qarn3;
using namespace qarn3::test;

namespace {

class WaveformWindowTest : public RecordTest {
protected:
    WaveformWindowTest() { store.AmpsPerCount = 0.25f; }
    TWaveViewFields& f() { return window.viewer().fields(); }
    static void pressReturn(QLineEdit* edit) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
        QCoreApplication::sendEvent(edit, &press);
    }
    static void doubleClick(QWidget* w) {
        const QPointF p(5, 5);
        QMouseEvent e(QEvent::MouseButtonDblClick, p, w->mapToGlobal(p), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &e);
    }

    TWaveformData store;
    TfmWaveform window{store, services, folder, [] { return 0; }};
};

TEST_F(WaveformWindowTest, UpDownHalvesTheScaleSixTimesAndStops) {
    for (int i = 0; i < 9; ++i)
        window.UpDown1->upButton()->click();
    EXPECT_EQ(window.UpDown1->position(), 6); // no wrap
    EXPECT_FLOAT_EQ(f().YTop, 8.0f);
    window.UpDown1->downButton()->click();
    EXPECT_FLOAT_EQ(f().YTop, 16.0f);
}

TEST_F(WaveformWindowTest, DrawingSurfaceFollowsTheWindowDownToAFewPixels) {
    window.show();
    window.resize(900, 700);
    QApplication::processEvents();
    EXPECT_EQ(window.PaintBox1->geometry(), QRect(0, 0, 900, 700 - 76));
    EXPECT_EQ(window.Panel1->geometry().bottom(), 699);
    for (const QSize size : {QSize(120, 90), QSize(8, 80), QSize(3, 3)}) {
        window.resize(size);
        QApplication::processEvents();
        EXPECT_LE(window.PaintBox1->width(), size.width());
        window.PaintBox1->grab(); // paints at this size
    }
    window.resize(643, 523);
    QApplication::processEvents();
    const QImage img = window.PaintBox1->grab().toImage();
    EXPECT_EQ(img.pixelColor(50, 100), QColor(0, 255, 0)); // the start cursor at 0 s
    window.hide();
}

// The Cycles button shows the cycle table of the captured pulse between the trace and the
// panel; the window grows by the table and the trace keeps its size.
TEST_F(WaveformWindowTest, CyclesButtonShowsTheTableAndTheTraceKeepsItsSize) {
    for (int i = 500; i < 740; ++i) // six 60 Hz cycles
        store.Samples[static_cast<std::size_t>(i)] =
            static_cast<std::int16_t>(std::lround(1000 * std::sin((i - 500) * M_PI / 20)));
    store.PulseFirst = 500;
    store.PulseCount = 240;
    window.show();
    window.resize(643, 523);
    QApplication::processEvents();
    EXPECT_FALSE(window.CyclePane->isVisible());
    const int traceHeight = window.PaintBox1->height();

    window.CyclesButton->click();
    QApplication::processEvents();
    EXPECT_TRUE(window.CyclePane->isVisible());
    EXPECT_EQ(window.PaintBox1->height(), traceHeight);
    EXPECT_GT(window.height(), 523);
    const QAbstractItemModel* model = window.CycleTableView->model();
    ASSERT_EQ(model->rowCount(), 6);
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), "RMS A");
    EXPECT_EQ(model->index(0, 0).data().toString(), "1 (partial)");
    EXPECT_EQ(model->index(1, 0).data().toString(), "2");
    EXPECT_EQ(model->index(1, 1).data().toString(), "0.2250"); // sample 540
    EXPECT_EQ(model->index(1, 3).data().toString(), "250.0000");
    EXPECT_EQ(window.CycleCaption->text(),
              "Cycles of the captured pulse: 0.2083 s to 0.3083 s, 60 Hz mains");
    EXPECT_TRUE(window.CycleFooter->text().startsWith("RMS 176.7"));

    window.CurSpan->setText("0.05");
    pressReturn(window.CurSpan); // cursors 0 .. 0.05 s: no current there
    EXPECT_EQ(model->rowCount(), 1);
    EXPECT_TRUE(window.CycleCaption->text().startsWith("Cycles between the cursors"));

    window.CyclesButton->click();
    QApplication::processEvents();
    EXPECT_FALSE(window.CyclePane->isVisible());
    EXPECT_EQ(window.height(), 523);
    window.hide();
}

TEST_F(WaveformWindowTest, EditsApplyOnReturnOrLeavingWhenChangedAndOnDoubleClickAlways) {
    window.show();
    window.TStart->setText("2.5");
    pressReturn(window.TStart);
    EXPECT_FLOAT_EQ(f().ViewStart, 2.5f);
    EXPECT_EQ(window.TStart->text(), "2.5000");
    EXPECT_EQ(window.TrackBar1->value(), 100);

    f().ViewStart = 3; // the edit still says 2.5000
    pressReturn(window.TStart);
    EXPECT_FLOAT_EQ(f().ViewStart, 3.0f);
    doubleClick(window.TStart);
    EXPECT_FLOAT_EQ(f().ViewStart, 2.5f);

    window.CurSpan->setText("half");
    pressReturn(window.CurSpan);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, "'half' is not a valid floating point value");
    EXPECT_EQ(window.CurSpan->text(), "1.0000");
    window.hide();
}

TEST_F(WaveformWindowTest, DraggingTheTrackbarMovesTheView) {
    window.show();
    window.TrackBar1->setValue(400);
    EXPECT_FLOAT_EQ(f().ViewStart, 10);
    EXPECT_EQ(window.TStart->text(), "10.0000");
    EXPECT_EQ(window.TEnd->text(), "11.0000");
    window.hide();
}

TEST_F(WaveformWindowTest, ExitEndsTheModalShowingAndShowingAgainResetsTheView) {
    QTimer::singleShot(0, &window, [this] {
        window.ContractButton->click();
        window.ExitButton->click();
    });
    window.exec();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FLOAT_EQ(f().ViewEnd, 2);
    QTimer::singleShot(0, &window, [this] { window.ExitButton->click(); });
    window.exec();
    EXPECT_FLOAT_EQ(f().ViewEnd, 1);
    int formShows = 0;
    for (const std::string& line : log.lines())
        if (line.find("Waveform FormShow") != std::string::npos) ++formShows;
    EXPECT_EQ(formShows, 2);
}

} // namespace
