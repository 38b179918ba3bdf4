// empty_window: a Qt main window of the program's size with nothing in it, shown at once. The
// yardstick bench/startup.sh measures the program's start-up and memory against.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle("QARN-3");
    window.resize(525, 470);
    window.show();
    return QApplication::exec();
}
