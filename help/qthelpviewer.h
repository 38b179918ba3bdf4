#pragma once

#include "help/helpsys.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

namespace qarn3 {

class THelpWindow;

// The dynamic property that carries a window's help context.
constexpr const char* kHelpContextProperty = "helpContext";
// Gives a window (and what it holds) a help context for F1.
void setHelpContext(QWidget* window, int context);
// The help context of a widget: its own or its nearest parent's; 0 when none has one.
int helpContextOf(const QWidget* widget);

// The help viewer of the program: one help window over the Qt help engine, created when first
// needed. Its collection (with the search index) lives in collectionFolder.
class QtHelpViewer : public HelpViewer {
public:
    explicit QtHelpViewer(QString collectionFolder);
    ~QtHelpViewer() override;

    std::string version() const override;
    bool showContext(const std::string& helpFile, int context) override;
    void closeAll() override;

    // Where links to outside the help file go.
    void setShell(ShellOpener* shell, TDiagLogFile* log);
    // The window, once a page has been shown.
    THelpWindow* window() const;

private:
    QString m_collectionFolder;
    QString m_helpFile;
    QPointer<THelpWindow> m_window;
    ShellOpener* m_shell = nullptr;
    TDiagLogFile* m_log = nullptr;
};

// Opens documents and links through the desktop (QDesktopServices).
class DesktopShellOpener : public ShellOpener {
public:
    bool open(const std::string& target) override;
};

// F1 anywhere in the program: the help of the window in focus, through the hook.
class HelpKeyFilter : public QObject {
    Q_OBJECT
public:
    HelpKeyFilter(THelpSystemHook& hook, QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    THelpSystemHook& m_hook;
};

} // namespace qarn3
