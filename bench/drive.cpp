// qarn3_drive: a library preloaded into the program (LD_PRELOAD) that works its windows as an
// operator would, from a script, so that a whole test can be run unattended and what it
// shows and writes compared between two builds. It uses only Qt's own view of the widgets
// (texts, buttons, menu actions), never the program's classes, so the same library drives any
// build.
//
// QARN3_DRIVE holds the steps, separated by ';'. Each waits (up to two minutes) until it can
// act, then acts; a step that opens a modal window goes on into the steps after it:
//   wait-button TEXT  a visible, enabled button with this text exists in some window
//   wait-text TEXT    a visible label, line or button shows this text in some window
//   click TEXT        click it (in the modal window shown, else in the main window)
//   menu TEXT         trigger the main window's menu item with this text ("&Save Data")
//   type TEXT         put TEXT into the first editable line of the modal window
//   range N           choose item N of the main window's range list, as the operator does
//   key C             type the character C in the main window
//   press KEYS        press a key with its modifiers ("Alt+V", "Tab", "Return") in the open
//                     menu, else the widget that has the focus, shortcuts and mnemonics too
//   keys TEXT         type TEXT key by key into the widget that has the focus
//   field LABEL=TEXT  the field a visible label LABEL ("&Site") names, or else the visible line
//                     whose placeholder is LABEL: a line (or an editable list's line) is
//                     clicked into, emptied and TEXT typed key by key; in a list of fixed
//                     items, the item TEXT is chosen as by the mouse
//   tab TEXT          click the visible tab of this text
//   wait-gone TEXT    no visible label, line, button or table cell shows this text
//   sleep MS          wait MS milliseconds
//   snapshot NAME     write the texts of the modal window (else the main window), one a
//                     line, to $QARN3_DRIVE_OUT/NAME.txt (a table a row a line)
//   snapshot-window TITLE=NAME  the same of the visible window of that title (a window
//                     of its own, not modal: Test Records)
// A step that cannot act in time ends the program with status 3.
//
// On Windows it is linked into a driven build of the program (qarn3-driven.exe), there being
// no preloading; the start-up watch below is Linux's.
// QARN3_DRIVE_EXPOSED=FILE instead notes when the first window is exposed (on the screen):
// the milliseconds since QARN3_DRIVE_T0 (the launch, nanoseconds of the real-time clock),
// the resident memory then in KiB and the processor time used by then (all threads, ms),
// written to FILE as one line; the program then ends.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace {

constexpr int kPollMs = 50;
constexpr int kStepLimitMs = 120000;

QMainWindow* mainWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* m = qobject_cast<QMainWindow*>(w); m && m->isVisible()) return m;
    return nullptr;
}

// Where a step acts: the modal window shown, else the main window.
QWidget* target() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return mainWindow();
}

QAbstractButton* buttonIn(QWidget* root, const QString& text) {
    if (!root) return nullptr;
    for (QAbstractButton* b : root->findChildren<QAbstractButton*>())
        if (b->text() == text && b->isVisible() && b->isEnabled()) return b;
    return nullptr;
}

QAbstractButton* buttonAnywhere(const QString& text) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible())
            if (QAbstractButton* b = buttonIn(w, text)) return b;
    return nullptr;
}

// The visible widgets of every window shown, in the order they were made.
QList<QWidget*> visibleWidgets() {
    QList<QWidget*> all;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!top->isVisible()) continue;
        for (QWidget* w : top->findChildren<QWidget*>())
            if (w->isVisible()) all.append(w);
    }
    return all;
}

bool tableShows(const QTableWidget* t, const QString& text) {
    for (int r = 0; r < t->rowCount(); ++r)
        for (int c = 0; c < t->columnCount(); ++c)
            if (const QTableWidgetItem* i = t->item(r, c); i && i->text() == text) return true;
    return false;
}

bool showsText(const QString& text, bool cells = false) {
    for (QWidget* w : visibleWidgets()) {
        if (auto* l = qobject_cast<QLabel*>(w); l && l->text() == text) return true;
        if (auto* e = qobject_cast<QLineEdit*>(w); e && e->text() == text) return true;
        if (auto* b = qobject_cast<QAbstractButton*>(w); b && b->text() == text) return true;
        if (auto* t = qobject_cast<QTableWidget*>(w); cells && t && tableShows(t, text))
            return true;
    }
    return false;
}

// The field a label names (its buddy), else the line edit with this placeholder.
QWidget* fieldNamed(const QString& label) {
    for (QWidget* w : visibleWidgets())
        if (auto* l = qobject_cast<QLabel*>(w); l && l->text() == label && l->buddy())
            return l->buddy()->isVisible() && l->buddy()->isEnabled() ? l->buddy() : nullptr;
    for (QWidget* w : visibleWidgets())
        if (auto* e = qobject_cast<QLineEdit*>(w); e && e->placeholderText() == label)
            return e->isEnabled() ? e : nullptr;
    return nullptr;
}

void typeInto(QLineEdit* e, const QString& text) {
    QTest::mouseClick(e, Qt::LeftButton);
    e->setFocus(Qt::MouseFocusReason);
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Delete);
    QTest::keyClicks(e, text);
}

std::function<void()> fillField(const QString& arg) {
    const QString label = arg.section('=', 0, 0);
    const QString text = arg.section('=', 1);
    QWidget* field = fieldNamed(label);
    if (auto* c = qobject_cast<QComboBox*>(field)) {
        if (c->isEditable()) return [c, text] { typeInto(c->lineEdit(), text); };
        const int item = c->findText(text);
        if (item < 0) return {};
        return [c, item] {
            c->setFocus(Qt::MouseFocusReason);
            c->setCurrentIndex(item);
            emit c->activated(item);
        };
    }
    if (auto* e = qobject_cast<QLineEdit*>(field)) return [e, text] { typeInto(e, text); };
    return {};
}

std::function<void()> clickTab(const QString& text) {
    for (QWidget* w : visibleWidgets())
        if (auto* t = qobject_cast<QTabWidget*>(w))
            for (int i = 0; i < t->count(); ++i)
                if (t->tabText(i) == text && t->isTabEnabled(i))
                    return [bar = t->tabBar(), i] {
                        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(i).center());
                    };
    return {};
}

QAction* menuAction(const QString& text) {
    QMainWindow* m = mainWindow();
    if (!m) return nullptr;
    for (QAction* a : m->findChildren<QAction*>())
        if (a->text() == text && a->isEnabled()) return a;
    // An item another object owns, added to one of the window's menus.
    for (QMenu* menu : m->findChildren<QMenu*>())
        for (QAction* a : menu->actions())
            if (a->text() == text && a->isEnabled()) return a;
    return nullptr;
}

// A table's headings and rows, a row a line, its cells separated by " | ".
QString tableTexts(const QTableWidget* t) {
    QStringList heads;
    for (int c = 0; c < t->columnCount(); ++c)
        heads << (t->horizontalHeaderItem(c) ? t->horizontalHeaderItem(c)->text() : QString());
    QString out = "table: " + heads.join(" | ") + "\n";
    for (int r = 0; r < t->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < t->columnCount(); ++c)
            cells << (t->item(r, c) ? t->item(r, c)->text() : QString());
        out += "row: " + cells.join(" | ") + "\n";
    }
    return out;
}

// The texts a window shows, in the order its controls were made.
QString texts(QWidget* root) {
    QString out = "window: " + root->windowTitle() + "\n";
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(root)) continue;
        const QString state = w->isEnabled() ? "" : " (disabled)";
        if (auto* l = qobject_cast<QLabel*>(w))
            out += "label: " + l->text() + state + "\n";
        else if (auto* e = qobject_cast<QLineEdit*>(w))
            out += "field: " + e->text() + state + "\n";
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            out += "button: " + b->text() + state + "\n";
        else if (auto* c = qobject_cast<QComboBox*>(w))
            out += "list: " + c->currentText() + state + "\n";
        else if (auto* p = qobject_cast<QProgressBar*>(w))
            out += "bar: " + QString::number(p->value()) + state + "\n";
        else if (auto* t = qobject_cast<QTableWidget*>(w))
            out += tableTexts(t);
    }
    return out;
}

class Driver {
public:
    explicit Driver(const QString& script) : m_steps(script.split(';', Qt::SkipEmptyParts)) {}

    void start() {
        QTimer::singleShot(kPollMs, [this] { step(); });
    }

private:
    void fail(const QString& why) {
        std::fprintf(stderr, "qarn3_drive: step %d (%s): %s\n", m_index + 1,
                     qPrintable(m_steps.value(m_index)), qPrintable(why));
        std::fflush(stderr);
        std::_Exit(3);
    }

    // Tries the current step; when it cannot act yet, tries again shortly.
    void step() {
        if (m_index >= m_steps.size()) return;
        const QString s = m_steps[m_index].trimmed();
        const QString verb = s.section(' ', 0, 0);
        const QString arg = s.section(' ', 1);
        if (m_waitedMs > kStepLimitMs) fail("not possible within the time allowed");
        std::function<void()> act = actionFor(verb, arg);
        if (!act) {
            m_waitedMs += kPollMs;
            QTimer::singleShot(kPollMs, [this] { step(); });
            return;
        }
        // The next step is due before this one acts: a modal window it opens runs its own
        // event loop, in which the next steps go on.
        ++m_index;
        m_waitedMs = 0;
        QTimer::singleShot(verb == "sleep" ? arg.toInt() : kPollMs, [this] { step(); });
        act();
    }

    std::function<void()> actionFor(const QString& verb, const QString& arg) {
        if (verb == "wait-button") {
            if (!buttonAnywhere(arg)) return {};
            return [] {};
        }
        if (verb == "wait-text") {
            if (!showsText(arg)) return {};
            return [] {};
        }
        if (verb == "click") {
            QAbstractButton* b = buttonIn(target(), arg);
            if (!b) return {};
            return [b] { b->click(); };
        }
        if (verb == "menu") {
            QAction* a = menuAction(arg);
            if (!a) return {};
            return [a] { a->trigger(); };
        }
        if (verb == "type") {
            QWidget* t = target();
            if (!t) return {};
            for (QLineEdit* e : t->findChildren<QLineEdit*>())
                if (e->isVisible() && !e->isReadOnly()) return [e, arg] { e->setText(arg); };
            return {};
        }
        if (verb == "range") {
            QMainWindow* m = mainWindow();
            auto* c = m ? m->findChild<QComboBox*>() : nullptr;
            if (!c || !c->isEnabled()) return {};
            const int item = arg.toInt();
            return [c, item] {
                c->setCurrentIndex(item);
                emit c->activated(item);
            };
        }
        if (verb == "key") {
            QMainWindow* m = mainWindow();
            if (!m || arg.isEmpty()) return {};
            return [m, arg] {
                QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, arg.left(1));
                QCoreApplication::sendEvent(m, &press);
            };
        }
        if (verb == "press") {
            // A key as a technician presses it ("Alt+V", "Tab", "Return") into whatever has
            // the focus, shortcuts and mnemonics included.
            QWidget* w = QApplication::activePopupWidget(); // an open menu takes the keys
            if (!w) w = QApplication::focusWidget();
            if (!w) w = QApplication::activeWindow();
            const QKeySequence seq(arg);
            if (!w || seq.isEmpty()) return {};
            return
                [w, combo = seq[0]] { QTest::keyClick(w, combo.key(), combo.keyboardModifiers()); };
        }
        if (verb == "keys") {
            QWidget* w = QApplication::focusWidget();
            if (!w) return {};
            return [w, arg] { QTest::keyClicks(w, arg); };
        }
        if (verb == "field") return fillField(arg);
        if (verb == "tab") return clickTab(arg);
        if (verb == "wait-gone") {
            if (showsText(arg, true)) return {};
            return [] {};
        }
        if (verb == "sleep") return [] {};
        if (verb == "snapshot-window") {
            const QString title = arg.section('=', 0, 0);
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible() && w->windowTitle() == title)
                    return [w, name = arg.section('=', 1)] {
                        QFile f(qEnvironmentVariable("QARN3_DRIVE_OUT", ".") + "/" + name + ".txt");
                        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
                            f.write(texts(w).toUtf8());
                    };
            return {};
        }
        if (verb == "snapshot") {
            QWidget* t = target();
            if (!t) return {};
            return [t, arg] {
                QFile f(qEnvironmentVariable("QARN3_DRIVE_OUT", ".") + "/" + arg + ".txt");
                if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(texts(t).toUtf8());
            };
        }
        fail("unknown step");
        return {};
    }

    QStringList m_steps;
    int m_index = 0;
    int m_waitedMs = 0;
};

#ifndef _WIN32
long residentKiB() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Notes the first exposure of a window and ends the program.
class ExposeWatch : public QObject {
public:
    explicit ExposeWatch(QString file) : m_file(std::move(file)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Expose) return false;
        auto* window = qobject_cast<QWindow*>(watched);
        if (!window || !window->isExposed()) return false;
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        const double t0 = qEnvironmentVariable("QARN3_DRIVE_T0").toDouble();
        const double ms =
            (static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec) - t0) / 1e6;
        rusage use{};
        getrusage(RUSAGE_SELF, &use);
        const double cpuMs = static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) * 1e3 +
                             static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e3;
        QFile f(m_file);
        if (f.open(QIODevice::WriteOnly | QIODevice::Append))
            f.write(QByteArray::number(ms, 'f', 1) + " " + QByteArray::number(residentKiB()) + " " +
                    QByteArray::number(cpuMs, 'f', 1) + "\n");
        f.close();
        std::_Exit(0);
    }

private:
    QString m_file;
};
#endif

void startDriver() {
#ifndef _WIN32
    if (const QString exposed = qEnvironmentVariable("QARN3_DRIVE_EXPOSED"); !exposed.isEmpty()) {
        static ExposeWatch watch(exposed);
        QCoreApplication::instance()->installEventFilter(&watch);
        return;
    }
#endif
    const QString script = qEnvironmentVariable("QARN3_DRIVE");
    if (script.isEmpty()) return;
    // Lives as long as the program.
    static std::unique_ptr<Driver> driver;
    driver = std::make_unique<Driver>(script);
    driver->start();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startDriver)
