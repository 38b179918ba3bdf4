#include "help/qthelpviewer.h"

#ifdef QARN3_QT_HELP
#include "help/helpwindow.h"
#endif

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QKeyEvent>
#include <QUrl>
#include <QWidget>

namespace qarn3 {

void setHelpContext(QWidget* window, int context) {
    window->setProperty(kHelpContextProperty, context);
}

int helpContextOf(const QWidget* widget) {
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        const QVariant v = w->property(kHelpContextProperty);
        if (v.isValid() && v.toInt() > 0) return v.toInt();
    }
    return 0;
}

#ifdef QARN3_QT_HELP
QtHelpViewer::QtHelpViewer(QString collectionFolder)
    : m_collectionFolder(std::move(collectionFolder)) {}

QtHelpViewer::~QtHelpViewer() {
    delete m_window.data();
}

THelpWindow* QtHelpViewer::window() const {
    return m_window.data();
}

std::string QtHelpViewer::version() const {
    // The help engine is part of the Qt the program runs on.
    return QString::fromLatin1(qVersion()).toStdString();
}

void QtHelpViewer::setShell(ShellOpener* shell, TDiagLogFile* log) {
    m_shell = shell;
    m_log = log;
}

bool QtHelpViewer::showContext(const std::string& helpFile, int context) {
    const QString file = QFileInfo(QString::fromStdString(helpFile)).absoluteFilePath();
    if (m_window && m_helpFile != file) delete m_window.data();
    if (!m_window) {
        m_window = new THelpWindow(file, m_collectionFolder + "/qarn3-help.qhc");
        m_window->setAttribute(Qt::WA_DeleteOnClose, false);
        m_helpFile = file;
        QObject::connect(
            m_window, &THelpWindow::externalLinkActivated, m_window, [this](const QUrl& url) {
                if (!m_shell || !m_log) return;
                OpenWithShell(
                    *m_shell, *m_log,
                    (url.isLocalFile() ? url.toLocalFile() : url.toString()).toStdString(), "");
            });
    }
    if (!m_window->ready()) {
        delete m_window.data();
        return false;
    }
    m_window->showPage(QString::fromStdString(helpPageForContext(context)));
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    return true;
}

void QtHelpViewer::closeAll() {
    if (m_window) m_window->close();
}
#endif

bool DesktopShellOpener::open(const std::string& target) {
    const QString t = QString::fromStdString(target);
    const QUrl url =
        t.contains("://") || t.startsWith("mailto:") ? QUrl(t) : QUrl::fromLocalFile(t);
    return QDesktopServices::openUrl(url);
}

HelpKeyFilter::HelpKeyFilter(THelpSystemHook& hook, QObject* parent)
    : QObject(parent), m_hook(hook) {}

bool HelpKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget) return false;
    if (const int context = helpContextOf(widget); context > 0) {
        bool callHelp = false;
        m_hook.HelpHook(HELP_CONTEXT, context, callHelp);
    } else {
        m_hook.showContents();
    }
    return true;
}

} // namespace qarn3
