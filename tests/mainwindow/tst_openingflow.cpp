#include "config/deviceconfig.h"
#include "mainwindow/pdfviewer.h"
#include "modalcloser.h"
#include "pageview/pdfwidget.h"
#include "pdfviewertestaccess.h"
#include "profilefreedirectory.h"
#include "stdoutcapture.h"
#include "testdocuments.h"

#include <QFileSystemModel>
#include <QLabel>
#include <QRegularExpression>
#include <QTextDocument>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Access = PDFViewerTestAccess;

namespace {

// What a failure box showed while it was open.
struct BoxSeen
{
    QString text;
    QWidget *parent = nullptr;
    bool noticeVisible = false;
    QStringList lines;
};

// Closes the next failure box and remembers what was on screen with it.
std::unique_ptr<ModalCloser> watchBox(PDFViewer &viewer, StdoutCapture &out, BoxSeen &seen)
{
    return std::make_unique<ModalCloser>([&](QWidget *box) {
        QLabel *notice = Access::notice(viewer);
        // The text as the box draws it: a label with rich text keeps it in a document.
        auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        auto *drawn = label->findChild<QTextDocument *>();
        seen = {drawn ? drawn->toPlainText() : label->text(), box->parentWidget(),
                notice && notice->isVisibleTo(&viewer), out.lines()};
    });
}

// Whether `load` waited on `path` as on a named pipe. A writer comes and goes whenever a reader
// waits there, so that such a load ends, having read nothing, instead of waiting for ever.
bool waitedOnPipe(const QString &path, const std::function<void()> &load)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status;
    if (stat(name.constData(), &status) != 0 || !S_ISFIFO(status.st_mode)) {
        load();
        return false;
    }
    std::atomic<bool> done{false}, waited{false};
    std::thread writer([&] {
        for (; !done; std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
            const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0 && ::close(fd) == 0)
                waited = true;
        }
    });
    load();
    done = true;
    writer.join();
    return waited;
}

// A one-page PDF larger than 2 GiB that takes next to no disk space: a stream that nothing reads
// spans a hole in the file, and the cross-reference table comes after it.
QString writeBeyondTwoGiB(const QString &path)
{
    const qint64 hole = qint64(9) << 28; // 2.25 GiB
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    QList<qint64> offsets;
    file.write("%PDF-1.4\n");
    for (const QByteArray &body :
         QList<QByteArray>{"<< /Type /Catalog /Pages 2 0 R >>\nendobj\n",
                           "<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n",
                           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>\nendobj\n",
                           "<< /Length " + QByteArray::number(hole) + " >>\nstream\n"}) {
        offsets << file.pos();
        file.write(QByteArray::number(offsets.size()) + " 0 obj\n" + body);
    }
    if (!file.seek(file.pos() + hole))
        return {};
    QByteArray tail = "\nendstream\nendobj\nxref\n0 5\n0000000000 65535 f \n";
    const qint64 table = file.pos() + tail.indexOf("xref");
    for (const qint64 offset : offsets)
        tail += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    tail +=
        "trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref\n" + QByteArray::number(table) + "\n%%EOF\n";
    return file.write(tail) == tail.size() ? path : QString();
}

// The file at `path` last modified in 2040: beyond a 32-bit time_t, as a file copied from a card
// that a device with a wrong clock wrote, or any file once 2038 has come. Set by touch, which
// handles such times on every architecture, whatever this test was built with.
QString modifiedAfter2038(const QString &path)
{
    const QStringList touch = {"-d", "2040-01-01 00:00 UTC", path};
    return !path.isEmpty() && QProcess::execute("touch", touch) == 0 ? path : QString();
}

} // namespace

class TestOpeningFlow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(directory.enter());
        tenA4 = TestDocuments::writeA4Document(directory.filePath("ten.pdf"), 10);
        QVERIFY(!tenA4.isEmpty());
    }

    void init() { deviceConfig = DeviceConfig::defaults(); }

    void missingFile()
    {
        PDFViewer viewer(nullptr, true);
        // Named like markup, which the box must show as written.
        const QString path = directory.filePath("<b>no</b> such &lt;file&gt;.pdf");
        viewer.setFileToLoad(path.toUtf8().constData());
        StdoutCapture out;
        BoxSeen seen;
        const auto closer = watchBox(viewer, out, seen);

        // The notice goes up at once; the load itself waits for the event loop.
        QVERIFY(QMetaObject::invokeMethod(&viewer, "loadFile"));
        QLabel *notice = Access::notice(viewer);
        QVERIFY(notice && notice->isVisibleTo(&viewer));
        QCOMPARE(notice->geometry(), QRect(120, 100, 240, 50));
        QCOMPARE(notice->text(), QStringLiteral("Loading PDF. Please wait..."));
        QTRY_COMPARE(closer->closed(), 1);

        const QString where = "PDFViewer::initWithFile(" + path + "): File not found. ";
        QVERIFY(!seen.noticeVisible);
        QCOMPARE(seen.text, "Loading document '" + path + "' failed!");
        QCOMPARE(seen.parent, &viewer);
        QCOMPARE(seen.lines, QStringList{where + "Opening message box."});
        QCOMPARE(out.lines(),
                 QStringList({where + "Opening message box.", where + "Done with message box."}));
        QVERIFY(!Access::documentLoaded(viewer));
    }

    void unopenableFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("line");
        // Named like markup, which the box must show as written.
        QTest::newRow("not a PDF, named like markup")
            << TestDocuments::writeNotPdf(directory.filePath("<b>text &amp; more.pdf"))
            << "^Document is 0$";
        // Nothing writes to it: a load that opened it would wait for ever.
        const QString pipe = directory.filePath("pipe.pdf");
        QTest::newRow("named pipe")
            << (mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0 ? pipe : QString())
            << "^Document is 0$";
        // A locked document was read: its pointer, not null, tells the two failures apart.
        QTest::newRow("locked") << TestDocuments::writeEncryptedPdf(
                                       directory.filePath("locked.pdf"),
                                       TestDocuments::UserPassword, QByteArray())
                                << "^Document is 0x[0-9a-f]+$";
    }

    void unopenableFile()
    {
        QFETCH(QString, path);
        QFETCH(QString, line);
        PDFViewer viewer(nullptr, true);
        PDFWidget *view = viewer.findChild<PDFWidget *>("pdfWidget");
        viewer.initWithFile(tenA4.toLocal8Bit().constData());
        StdoutCapture out;
        BoxSeen seen;
        const auto closer = watchBox(viewer, out, seen);

        QVERIFY(!path.isEmpty());
        const bool waited =
            waitedOnPipe(path, [&] { viewer.initWithFile(path.toLocal8Bit().constData()); });
        QVERIFY2(!waited, "the load waited on a named pipe");
        QCOMPARE(closer->closed(), 1);
        // The notice stays up behind this box, which has no parent and no quotes.
        QVERIFY(seen.noticeVisible);
        QCOMPARE(seen.text, "Loading document " + path + " failed!");
        QVERIFY(!seen.parent);
        QCOMPARE(seen.lines.size(), 1);
        QVERIFY2(QRegularExpression(line).match(seen.lines.first()).hasMatch(),
                 qPrintable(seen.lines.first()));
        QCOMPARE(out.lines(), seen.lines);
        QVERIFY(Access::notice(viewer)->isHidden());
        // The earlier document is gone; nothing is left to paint.
        QVERIFY(view->filePath.isEmpty() && !view->image);
    }

    // The chooser's model is made, and starts reading the file system and filtering it for PDF
    // files, only once the first page is on the screen (or there is none to show), so that its
    // thread and its sort do not compete with the render; and never when the open command is off,
    // since then the chooser cannot open.
    void firstLoad_data()
    {
        QTest::addColumn<QByteArray>("path"); // as the command line gives it
        QTest::addColumn<bool>("openCommand");
        QTest::newRow("no file") << QByteArray() << true;
        QTest::newRow("empty name, as from -f \"\"") << QByteArray("") << true;
        QVERIFY(QDir(directory.filePath("")).mkpath("folder with blanks"));
        QTest::newRow("path with blanks and non-ASCII")
            << QFile::encodeName(TestDocuments::writeRawPdf(
                   directory.filePath("folder with blanks/Übersicht señal 文書 1.pdf"),
                   {{300, 300}}))
            << true;
        // Named on another system, in Latin-1, which is not UTF-8.
        const QByteArray written = QFile::encodeName(
            TestDocuments::writeRawPdf(directory.filePath("latin1.pdf"), {{300, 300}}));
        const QByteArray latin1 = QByteArray(written).replace("latin1.pdf", "r\xe9sum\xe9.pdf");
        QVERIFY(!written.isEmpty() && ::rename(written.constData(), latin1.constData()) == 0);
        QTest::newRow("name not UTF-8") << latin1 << true;
        // Nor is an overlong form of "/", which must stay two bytes of the name.
        const QByteArray plain = QFile::encodeName(
            TestDocuments::writeRawPdf(directory.filePath("overlong.pdf"), {{300, 300}}));
        const QByteArray overlong = QByteArray(plain).replace("overlong.pdf", "a\xc0\xaf.pdf");
        QVERIFY(!plain.isEmpty() && ::rename(plain.constData(), overlong.constData()) == 0);
        QTest::newRow("overlong UTF-8 in the name") << overlong << true;
        // On a 32-bit device too, where its size and offsets, or its time, do not fit in 32 bits.
        const QString large = writeBeyondTwoGiB(directory.filePath("large.pdf"));
        QVERIFY(!large.isEmpty());
        QTest::newRow("larger than 2 GiB") << QFile::encodeName(large) << true;
        const QString future = modifiedAfter2038(
            TestDocuments::writeRawPdf(directory.filePath("future.pdf"), {{300, 300}}));
        QVERIFY2(!future.isEmpty(), "cannot set a time after 2038 here");
        QTest::newRow("modified after 2038") << QFile::encodeName(future) << true;
        QTest::newRow("file, open command off") << QFile::encodeName(tenA4) << false;
        QTest::newRow("no file, open command off") << QByteArray() << false;
    }

    void firstLoad()
    {
        QFETCH(QByteArray, path);
        QFETCH(bool, openCommand);
        PDFViewer viewer(nullptr, openCommand);
        if (!path.isNull())
            viewer.setFileToLoad(path.constData());
        const auto modelMade = [&viewer] { return Access::model(viewer) != nullptr; };
        StdoutCapture out;
        ModalCloser closer;
        // Timers fire in the order they fall due, so this one, set before the load sets its
        // 10 ms, runs first while the load still waits, however late the event loop gets to both.
        std::optional<bool> loadedWithinFiveMs;
        QTimer::singleShot(5, &viewer,
                           [&] { loadedWithinFiveMs = Access::documentLoaded(viewer); });
        QVERIFY(QMetaObject::invokeMethod(&viewer, "loadFile"));
        QVERIFY2(!path.isEmpty() || !Access::notice(viewer), "an empty name is no file to load");
        if (!path.isEmpty()) {
            QVERIFY(!modelMade());
            QTRY_VERIFY(Access::documentLoaded(viewer) || closer.closed() > 0);
            QTRY_VERIFY(loadedWithinFiveMs.has_value());
            QVERIFY2(!*loadedWithinFiveMs, "the load did not wait for the notice to be drawn");
            QVERIFY2(closer.closed() == 0, qPrintable(out.lines().join('\n')));
            QCOMPARE(QFile::encodeName(viewer.findChild<PDFWidget *>("pdfWidget")->filePath), path);
            QVERIFY(Access::notice(viewer)->isHidden());
        }
        if (!openCommand) {
            QVERIFY(!modelMade());
            return;
        }
        QVERIFY(modelMade());
        const QFileSystemModel *model = Access::model(viewer);
        QCOMPARE(model->rootPath(), QStringLiteral("/"));
    }

private:
    ProfileFreeDirectory directory;
    QString tenA4;
};

QTEST_MAIN(TestOpeningFlow)
#include "tst_openingflow.moc"
