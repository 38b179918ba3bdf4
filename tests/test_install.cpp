// The installed desktop files: the waveform file type the desktop entry opens is one the
// shared MIME database knows, by name and by content.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString sourceFile(const char* name) {
    return QString(QARN3_SOURCE_DIR) + "/" + name;
}

QByteArray readText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(DesktopFiles, WaveformTypeIsKnownByNameAndByMagic) {
    QTemporaryDir data;
    ASSERT_TRUE(data.isValid());
    ASSERT_TRUE(QDir(data.path()).mkpath("mime/packages"));
    ASSERT_TRUE(
        QFile::copy(sourceFile("app/qarn3-mime.xml"), data.path() + "/mime/packages/qarn3.xml"));
    // Read by the database before its first use in this process.
    qputenv("XDG_DATA_DIRS", (data.path() + ":/usr/local/share:/usr/share").toUtf8());
    // As a package would: the database is compiled where the tool exists (any warning about
    // the package file fails), else Qt reads the package file itself.
    const QString tool = QStandardPaths::findExecutable("update-mime-database");
    if (!tool.isEmpty()) {
        QProcess p;
        p.start(tool, {data.path() + "/mime"});
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0);
        EXPECT_EQ(p.readAllStandardError().toStdString(), "");
    }

    auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile f(data.path() + "/" + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    };
    const QByteArray header = QByteArray("WAVEFORMN") + QByteArray(50, '\0');
    QMimeDatabase db;
    const QString owf = write("Test.owf", header);
    const QString renamed = write("copy of test", header);
    const QString other = write("notes", "WAVE FORM, not a waveform");
    EXPECT_EQ(db.mimeTypeForFile(owf).name(), "application/x-qarn3-waveform");
    EXPECT_EQ(db.mimeTypeForFile(renamed).name(), "application/x-qarn3-waveform");
    EXPECT_NE(db.mimeTypeForFile(other).name(), "application/x-qarn3-waveform");
    EXPECT_EQ(db.mimeTypeForFile("QARN3Pulse.owf", QMimeDatabase::MatchExtension).name(),
              "application/x-qarn3-waveform");

    const QByteArray entry = readText(sourceFile("app/qarn3.desktop"));
    EXPECT_TRUE(entry.contains("\nMimeType=application/x-qarn3-waveform;\n"));
    EXPECT_TRUE(entry.contains("\nExec=qarn3 %f\n"));
}

} // namespace
