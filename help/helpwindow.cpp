#include "help/helpwindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHelpContentWidget>
#include <QHelpEngine>
#include <QHelpIndexWidget>
#include <QHelpLink>
#include <QHelpSearchEngine>
#include <QHelpSearchQueryWidget>
#include <QHelpSearchResultWidget>
#include <QSplitter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolBar>
#include <QVBoxLayout>

namespace qarn3 {

HelpBrowser::HelpBrowser(QHelpEngine& engine, QWidget* parent)
    : QTextBrowser(parent), m_engine(engine) {}

QVariant HelpBrowser::loadResource(int type, const QUrl& name) {
    if (name.scheme() == "qthelp") return m_engine.fileData(name);
    return QTextBrowser::loadResource(type, name);
}

THelpWindow::THelpWindow(const QString& helpFileName, const QString& collectionFile,
                         QWidget* parent)
    : QMainWindow(parent) {
    // The collection keeps the path as given; a relative one would be read from its folder.
    const QString helpFile = QFileInfo(helpFileName).absoluteFilePath();
    setObjectName("fmHelp");
    setWindowTitle("QARN3 Breaker Tester Analyzer - Help");
    resize(900, 640);

    QDir().mkpath(QFileInfo(collectionFile).absolutePath());
    m_engine = openEngine(collectionFile);
    m_namespace = QHelpEngineCore::namespaceName(helpFile);
    if (!m_namespace.isEmpty()) {
        m_ready = registerHelpFile(helpFile);
        if (!m_ready) {
            // The help file is sound, so the collection is damaged: it only holds what the
            // help file gives again, so it is made anew.
            delete m_engine;
            QFile::remove(collectionFile);
            m_engine = openEngine(collectionFile);
            m_ready = registerHelpFile(helpFile);
        }
        if (!m_ready) {
            // The cache folder cannot be written: a collection of this window's own in the
            // temporary folder, removed once the help engine's search engine, its last part
            // and the one that writes the search index beside the collection, is gone.
            QTemporaryDir scratch;
            if (scratch.isValid()) {
                scratch.setAutoRemove(false);
                delete m_engine;
                m_engine = openEngine(scratch.filePath("qarn3-help.qhc"));
                connect(m_engine->searchEngine(), &QObject::destroyed,
                        [folder = scratch.path()] { QDir(folder).removeRecursively(); });
                m_ready = registerHelpFile(helpFile);
            }
        }
    }

    m_browser = new HelpBrowser(*m_engine, this);
    m_browser->setOpenLinks(false);
    connect(m_browser, &QTextBrowser::anchorClicked, this, &THelpWindow::openUrl);

    m_tabs = new QTabWidget(this);
    QHelpContentWidget* contents = m_engine->contentWidget();
    m_tabs->addTab(contents, "Contents");
    connect(contents, &QHelpContentWidget::linkActivated, this, &THelpWindow::openUrl);
    QHelpIndexWidget* index = m_engine->indexWidget();
    m_tabs->addTab(index, "Index");
    connect(index, &QHelpIndexWidget::documentActivated, this,
            [this](const QHelpLink& link, const QString&) { openUrl(link.url); });
    connect(index, &QHelpIndexWidget::documentsActivated, this,
            [this](const QList<QHelpLink>& links, const QString&) {
                if (!links.isEmpty()) openUrl(links.first().url);
            });
    auto* searchPage = new QWidget(this);
    auto* searchLayout = new QVBoxLayout(searchPage);
    QHelpSearchEngine* searchEngine = m_engine->searchEngine();
    searchLayout->addWidget(searchEngine->queryWidget());
    searchLayout->addWidget(searchEngine->resultWidget(), 1);
    m_tabs->addTab(searchPage, "Search");
    connect(searchEngine->queryWidget(), &QHelpSearchQueryWidget::search, this,
            &THelpWindow::search);
    connect(searchEngine->resultWidget(), &QHelpSearchResultWidget::requestShowLink, this,
            &THelpWindow::openUrl);

    auto* split = new QSplitter(this);
    split->addWidget(m_tabs);
    split->addWidget(m_browser);
    split->setStretchFactor(1, 1);
    split->setSizes({260, 640});
    setCentralWidget(split);

    QToolBar* bar = addToolBar("Navigation");
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_back = bar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), "Back", m_browser,
                            &QTextBrowser::backward);
    m_forward = bar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), "Forward", m_browser,
                               &QTextBrowser::forward);
    m_home = bar->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), "Home", this,
                            [this] { showPage(QStringLiteral("index.html")); });
    m_back->setShortcut(QKeySequence::Back);
    m_forward->setShortcut(QKeySequence::Forward);
    m_back->setEnabled(false);
    m_forward->setEnabled(false);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::sourceChanged, this, [contents](const QUrl& url) {
        const QModelIndex at = contents->indexOf(url);
        if (at.isValid()) contents->setCurrentIndex(at);
    });

    if (m_ready) {
        // The index is built in the background the first time, and kept beside the collection.
        searchEngine->scheduleIndexDocumentation();
    }
}

THelpWindow::~THelpWindow() = default;

QHelpEngine* THelpWindow::openEngine(const QString& collectionFile) {
    auto* engine = new QHelpEngine(collectionFile, this);
    engine->setReadOnly(false);
    engine->setupData();
    return engine;
}

bool THelpWindow::registerHelpFile(const QString& helpFile) {
    // A collection left by another copy of the program points at that copy's file.
    const QString registered = m_engine->documentationFileName(m_namespace);
    if (!registered.isEmpty() && registered != helpFile)
        m_engine->unregisterDocumentation(m_namespace);
    if (m_engine->documentationFileName(m_namespace) == helpFile) return true;
    if (!m_engine->registerDocumentation(helpFile)) return false;
    m_engine->setupData(); // the contents and index models follow the new file
    return true;
}

QUrl THelpWindow::pageUrl(const QString& page) const {
    return QUrl("qthelp://" + m_namespace + "/doc/" + page);
}

QUrl THelpWindow::currentUrl() const {
    return m_browser->source();
}

void THelpWindow::showPage(const QString& page) {
    openUrl(pageUrl(page));
}

void THelpWindow::openUrl(const QUrl& link) {
    // Links in a page are relative to it.
    const QUrl url = link.isRelative() ? m_browser->source().resolved(link) : link;
    if (url.scheme() != "qthelp") {
        emit externalLinkActivated(url);
        return;
    }
    // A link within the page only scrolls.
    if (url.adjusted(QUrl::RemoveFragment) == m_browser->source().adjusted(QUrl::RemoveFragment) &&
        url.hasFragment()) {
        m_browser->scrollToAnchor(url.fragment());
        return;
    }
    m_browser->setSource(url);
}

void THelpWindow::search() {
    m_engine->searchEngine()->search(m_engine->searchEngine()->queryWidget()->searchInput());
}

} // namespace qarn3
