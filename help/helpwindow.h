#pragma once

#include <QMainWindow>
#include <QTextBrowser>
#include <QUrl>

class QHelpEngine;
class QTabWidget;
class QAction;

namespace qarn3 {

// The page view of the help window: reads its pages and pictures from the help file.
class HelpBrowser : public QTextBrowser {
    Q_OBJECT
public:
    HelpBrowser(QHelpEngine& engine, QWidget* parent);
    QVariant loadResource(int type, const QUrl& name) override;

private:
    QHelpEngine& m_engine;
};

// The program's help window: contents tree, keyword index and full-text search beside the
// page, with Back, Forward and Home. Works on a compressed help file through a collection file
// of its own in a writable folder.
class THelpWindow : public QMainWindow {
    Q_OBJECT
public:
    // helpFile: the compressed help file; collectionFile: where the window keeps its collection
    // and search index (created when missing).
    THelpWindow(const QString& helpFileName, const QString& collectionFile,
                QWidget* parent = nullptr);
    ~THelpWindow() override;

    // False when the help file could not be registered (missing or damaged).
    bool ready() const { return m_ready; }
    // Shows a page of the help file by its name ("index.html").
    void showPage(const QString& page);
    QUrl pageUrl(const QString& page) const;
    QUrl currentUrl() const;
    QString helpNamespace() const { return m_namespace; }

    QHelpEngine& engine() { return *m_engine; }
    HelpBrowser* browser() const { return m_browser; }
    QTabWidget* navigation() const { return m_tabs; }
    QAction* backAction() const { return m_back; }
    QAction* forwardAction() const { return m_forward; }
    QAction* homeAction() const { return m_home; }

signals:
    // A link to something outside the help file (a web page, a mail address, a file).
    void externalLinkActivated(const QUrl& url);

private:
    QHelpEngine* openEngine(const QString& collectionFile);
    // Registers the help file in the collection (once); false when the collection refuses it.
    bool registerHelpFile(const QString& helpFile);
    void openUrl(const QUrl& link);
    void search();

    QHelpEngine* m_engine;
    HelpBrowser* m_browser;
    QTabWidget* m_tabs;
    QAction* m_back;
    QAction* m_forward;
    QAction* m_home;
    QString m_namespace;
    bool m_ready = false;
};

} // namespace qarn3
