#include "config/deviceconfig.h"
#include "mainwindow/pdfviewer.h"
#include "modalcloser.h"
#include "pageview/pdfwidget.h"
#include "paintcounter.h"
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
#include <cstdio>
#include <functional>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Access = PDFViewerTestAccess;

namespace {

// Whether `load` opened `path` as a named pipe. A writer waits for a reader there and leaves at
// once, so that such a load ends, having read nothing, instead of waiting for ever.
bool waitedOnPipe(const QString &path, const std::function<void()> &load)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status;
    if (stat(name.constData(), &status) != 0 || !S_ISFIFO(status.st_mode)) {
        load();
        return false;
    }
    std::atomic<bool> opened{false};
    std::thread writer([&] {
        const int fd = ::open(name.constData(), O_WRONLY);
        opened = true;
        ::close(fd);
    });
    load();
    const bool waited = opened;
    // A reader of its own lets the writer go.
    ::close(::open(name.constData(), O_RDONLY | O_NONBLOCK));
    writer.join();
    return waited;
}

// A one-page PDF larger than 2 GiB that takes next to no disk space: a hole after its end, and
// after the hole the end again, which points back at the cross-reference table.
QString writeBeyondTwoGiB(const QString &path)
{
    QFile file(TestDocuments::writeRawPdf(path, {{300, 300}}));
    if (!file.open(QIODevice::ReadWrite))
        return {};
    const QByteArray document = file.readAll();
    const QByteArray end = "\n" + document.mid(document.lastIndexOf("startxref"));
    return file.seek(qint64(9) << 28) && file.write(end) == end.size() ? path : QString();
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

    // The file named on the command line. The notice goes up at once and stays while the load
    // waits for its timer. A missing file's box is the window's, after the notice has gone; the
    // page view's has no parent or quotes. The chooser's model is made only after the first page
    // is shown, so as not to compete with the render, and never without the open command.
    void opening_data()
    {
        QTest::addColumn<QByteArray>("path"); // as the command line gives it
        QTest::addColumn<bool>("openCommand");
        QTest::addColumn<QString>("box");         // %1: the path; none when the document opens
        QTest::addColumn<QStringList>("printed"); // up to the box, then after it
        const auto row = [](const char *name, const QByteArray &path, bool openCommand = true,
                            const QString &box = {}, const QStringList &printed = {}) {
            QTest::newRow(name) << path << openCommand << box << printed;
        };
        row("no file", QByteArray());
        row("empty name, as from -f \"\", open command off", "", false);
        const auto written = [this](const QByteArray &name) {
            const QByteArray plain = QFile::encodeName(
                TestDocuments::writeRawPdf(directory.filePath("plain.pdf"), {{300, 300}}));
            const QByteArray path = QFile::encodeName(directory.filePath("")) + name;
            return !plain.isEmpty() && ::rename(plain, path) == 0 ? path : "not written";
        };
        row("blanks and non-ASCII", written("Übersicht señal 文書 1.pdf"));
        // Neither Latin-1 nor an overlong "/", which must stay two bytes, is UTF-8.
        row("name in Latin-1", written("r\xe9sum\xe9.pdf"));
        row("overlong UTF-8 in the name", written("a\xc0\xaf.pdf"));
        // The characters that stand for such bytes are written as UTF-8 too, and keep theirs.
        row("private-use characters in the name", written("\xee\xbe\x80.pdf"));
        // On a 32-bit device too, where its size and offsets, or its time, do not fit in 32 bits.
        const QString large = writeBeyondTwoGiB(directory.filePath("large.pdf"));
        QVERIFY(!large.isEmpty());
        row("larger than 2 GiB", QFile::encodeName(large));
        // Set by touch, which handles such times whatever this test was built with.
        const QString future = QFile::decodeName(written("future.pdf"));
        QVERIFY2(QProcess::execute("touch", {"-d", "2040-01-01 00:00 UTC", future}) == 0,
                 "cannot set a time after 2038 here");
        row("modified after 2038", QFile::encodeName(future));
        row("file, open command off", QFile::encodeName(tenA4), false);

        // Named like markup, which the box must show as written, and in Latin-1, whose bytes the
        // box shows as UTF-8 does, not as the characters the name is held in.
        const QString where = "PDFViewer::initWithFile(%1): File not found. ";
        row("missing, named like markup and in Latin-1",
            QFile::encodeName(directory.filePath("<b>no</b> such &lt;file&gt; r")) + "\xe9.pdf",
            true, "Loading document '%1' failed!",
            {where + "Opening message box.", where + "Done with message box."});
        // Nothing writes to it: a load that opened it would wait for ever.
        const QByteArray pipe = QFile::encodeName(directory.filePath("pipe ")) + "\xe9.pdf";
        QVERIFY(mkfifo(pipe.constData(), 0600) == 0);
        row("named pipe", pipe, true, "Loading document %1 failed!", {"Document is 0"});
        // A locked document was read: its pointer, not null, tells the two failures apart.
        const QString locked = TestDocuments::writeEncryptedPdf(
            directory.filePath("locked.pdf"), TestDocuments::UserPassword, QByteArray());
        QVERIFY(!locked.isEmpty());
        row("locked", QFile::encodeName(locked), true, "Loading document %1 failed!",
            {"Document is 0x"});
    }

    void opening()
    {
        QFETCH(QByteArray, path);
        QFETCH(bool, openCommand);
        QFETCH(QString, box);
        QFETCH(QStringList, printed);
        const QString name = QFile::decodeName(path);
        const bool fails = !box.isEmpty(), missing = fails && !QFileInfo::exists(name);
        PDFViewer viewer(nullptr, openCommand);
        PDFWidget *view = viewer.findChild<PDFWidget *>("pdfWidget");
        // A document that fails takes the one shown with it.
        if (fails && !missing)
            viewer.initWithFile(tenA4.toLocal8Bit().constData());
        if (!path.isNull())
            viewer.setFileToLoad(path.constData());
        StdoutCapture out;
        // What the box showed while it was open, and what else was on the screen and printed.
        QString text;
        QWidget *parent = nullptr;
        bool noticeVisible = false;
        QStringList lines;
        ModalCloser closer([&](QWidget *box) {
            // The text as the box draws it: a label with rich text keeps it in a document.
            auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
            auto *drawn = label->findChild<QTextDocument *>();
            text = drawn ? drawn->toPlainText() : label->text();
            parent = box->parentWidget();
            noticeVisible = Access::notice(viewer)->isVisibleTo(&viewer);
            lines = out.lines();
        });
        // Timers fire in the order they fall due: this one runs while the load waits for its 10 ms.
        bool noticeAfterFiveMs = false;
        QTimer::singleShot(5, &viewer, [&] {
            noticeAfterFiveMs = Access::notice(viewer) && !Access::notice(viewer)->isHidden();
        });

        QVERIFY(QMetaObject::invokeMethod(&viewer, "loadFile"));
        QLabel *notice = Access::notice(viewer);
        QVERIFY2(!path.isEmpty() || !notice, "an empty name is no file to load");
        if (!path.isEmpty()) {
            QVERIFY(notice->isVisibleTo(&viewer));
            QCOMPARE(notice->geometry(), QRect(120, 100, 240, 50));
            QCOMPARE(notice->text(), QStringLiteral("Loading PDF. Please wait..."));
            QVERIFY(!Access::model(viewer));
            const bool waited = waitedOnPipe(name, [&] { QTRY_VERIFY(notice->isHidden()); });
            QVERIFY2(!waited, "the load waited on a named pipe");
            QVERIFY2(noticeAfterFiveMs, "the load did not wait for the notice to be drawn");
        }
        QVERIFY2(closer.closed() == int(fails), qPrintable(out.lines().join('\n')));
        // The pointer's digits vary from run to run.
        const QRegularExpression digits("(?<=^Document is 0x)[0-9a-f]+$");
        printed.replaceInStrings("%1", name);
        if (fails) {
            QCOMPARE(text, box.arg(QString::fromUtf8(path)));
            QCOMPARE(parent, missing ? &viewer : nullptr);
            QCOMPARE(noticeVisible, !missing);
            QCOMPARE(lines.replaceInStrings(digits, ""), printed.mid(0, 1));
        }
        QCOMPARE(out.lines().replaceInStrings(digits, ""), printed);
        QCOMPARE(Access::documentLoaded(viewer), !path.isEmpty() && !missing);
        QCOMPARE(QFile::encodeName(view->filePath), fails ? QByteArray() : path);
        // Nothing is left to paint after a failure.
        QCOMPARE(view->image != nullptr, !path.isEmpty() && !fails);
        QCOMPARE(Access::model(viewer) != nullptr, openCommand);
        QVERIFY(!openCommand || Access::model(viewer)->rootPath() == "/");
    }

    // On a slow core the notice's 10 ms can be over before the window system has shown the
    // window: a load that started then kept the screen blank, with no notice, until it ended.
    void noticeDrawnBeforeALateLoad()
    {
        PDFViewer viewer(nullptr, false);
        viewer.setFileToLoad(tenA4.toLocal8Bit().constData());
        viewer.QWidget::show();
        QVERIFY(QMetaObject::invokeMethod(&viewer, "loadFile"));
        PaintCounter noticePainted(Access::notice(viewer));
        // The core is taken away before the event loop has looked at the window's exposure.
        QTest::qSleep(20);
        QTRY_VERIFY(Access::documentLoaded(viewer));
        QVERIFY2(noticePainted.count > 0, "the load ran before the notice was drawn");
    }

private:
    ProfileFreeDirectory directory;
    QString tenA4;
};

QTEST_MAIN(TestOpeningFlow)
#include "tst_openingflow.moc"
