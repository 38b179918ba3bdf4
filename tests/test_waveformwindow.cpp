#include "waveform/waveformwindow.h"

#include "record_fixture.h"
#include "waveform/plotwidget.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
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
