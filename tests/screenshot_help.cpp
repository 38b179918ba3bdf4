// Takes a screenshot of the help window: opens the built help file at a page with the contents
// tree filled and expanded, and saves the window as a PNG. Run under Xvfb by
// scripts/screenshot-help.sh.
#include "help/helpwindow.h"

#include <QApplication>
#include <QHelpContentModel>
#include <QHelpContentWidget>
#include <QHelpEngine>
#include <QTemporaryDir>
#include <QTimer>

#include <iostream>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 4) {
        std::cerr << "usage: qarn3-helpshot QARN3.qch OUT.png PAGE\n";
        return 2;
    }
    QTemporaryDir cache;
    qarn3::THelpWindow window(argv[1], cache.filePath("help.qhc"));
    if (!window.ready()) {
        std::cerr << "cannot open " << argv[1] << "\n";
        return 1;
    }
    const QString out = argv[2];
    const QString page = argv[3];
    window.resize(1000, 700);
    window.show();
    auto shoot = [&] {
        window.engine().contentWidget()->expandAll();
        window.showPage(page);
        QTimer::singleShot(500, [&] {
            const bool ok = window.grab().save(out);
            std::cerr << (ok ? "saved " : "could not save ") << out.toStdString() << "\n";
            QApplication::exit(ok ? 0 : 1);
        });
    };
    QHelpContentModel* model = window.engine().contentModel();
    QObject::connect(model, &QHelpContentModel::contentsCreated, &window, shoot);
    if (!model->isCreatingContents() && model->rowCount() > 0) shoot();
    return QApplication::exec();
}
