#include "sanitizerruntime.h"
#include "testdocuments.h"
#include "viewerprocess.h"
#include "xvfbscreen.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// The viewer as a device's launcher starts it on a private X server: real arguments, output,
// key and touch, and what it loads into the process.
class TestE2EStartup : public QObject
{
    Q_OBJECT

private slots:
    void argumentsLibrariesKeyAndTouch()
    {
        QTemporaryDir folder;
        const QString document = TestDocuments::writeA4Document(folder.filePath("one.pdf"), 1);
        QVERIFY(!document.isEmpty());
        ViewerProcess viewer(SQUISH_PLUGIN_DIR, true);
        // No session bus: a dbus-launch first on the PATH leaves a mark if one is autolaunched.
        const QString launcher = folder.filePath("dbus-launch");
        QFile script(launcher);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\ntouch \"$0.ran\"\nexit 1\n");
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
        viewer.setLaunchPrefix(QString("unset DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR; "
                                       "PATH='%1':\"$PATH\"; ")
                                   .arg(folder.path()));
        // The toolkit takes -style for itself, so it is not counted.
        QVERIFY2(viewer.startWithAutomation({"-style", "fusion", "-x", "10", "-y", "20", "-w",
                                             "400", "-h", "260", "-o", "--bogus", "-f", document}),
                 qPrintable(viewer.error()));
        QVERIFY2(viewer.waitForDocument(), qPrintable(viewer.error()));

        // The widgets only rasterise; a window that could host OpenGL makes xcb load Mesa's
        // software driver with LLVM: tens of milliseconds and megabytes at every start.
        QFile maps(QString("/proc/%1/maps").arg(viewer.processId()));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        const QStringList mapped = QString::fromLocal8Bit(maps.readAll()).split('\n');
        // The page view's libraries are there, so the list is complete.
        QVERIFY(!mapped.filter("libpoppler-qt5").isEmpty());
        const QRegularExpression driver("_dri\\.so|libLLVM|libGLX_mesa|xcbglintegrations/");
        QCOMPARE(mapped.filter(driver), QStringList());
        // A thread's own malloc arena reserves 64 MiB of address space, which a limit on it takes
        // from the renders: X's event reader and the chooser's folder reader are threads.
        const QRegularExpression reservation("^([0-9a-f]+)-([0-9a-f]+) ---p 0+ 00:00 0\\s*$");
        for (const QString &line : mapped) {
            const QRegularExpressionMatch match = reservation.match(line);
            if (match.hasMatch() && !underSanitizers())
                QVERIFY2(match.captured(2).toULongLong(nullptr, 16) -
                                 match.captured(1).toULongLong(nullptr, 16) <
                             16 << 20,
                         qPrintable(line));
        }
        QVERIFY2(!QFile::exists(launcher + ".ran"), "the viewer autolaunched a session bus");

        // An unmapped key reports the scan code of the real key, then the configured codes.
        QVERIFY2(viewer.xKey("Escape"), qPrintable(viewer.error()));
        QVERIFY2(viewer.waitForLine("HOME: 16777232"), qPrintable(viewer.error()));

        const QRect close = ViewerProcess::geometry(viewer.widget("closeButton"));
        QVERIFY2(viewer.xClick(close.center()), qPrintable(viewer.error()));
        QCOMPARE(viewer.waitForExit(), 0);
        const QStringList expected = {
            "Squish Plugin loaded",
            "Squish Plugin Initialized",
            "Squish opened Port: 5014",
            "Arguments: 13",
            "page-scope evaluating arg 'x' with value '10'.",
            "page-scope evaluating arg 'y' with value '20'.",
            "page-scope evaluating arg 'w' with value '400'.",
            "page-scope evaluating arg 'h' with value '260'.",
            "page-scope evaluating arg 'o' with value 'NONE'.",
            "page-scope evaluating arg '?' with value 'NONE'.",
            "page-scope INCOMPLETE arg '0' found - ignored",
            "page-scope evaluating arg 'f' with value '" + document + "'.",
            "Using config file b7s.conf",
            "Opening b7s.conf FAILED! Using default B7 config!",
        };
        const QStringList lines = viewer.lines();
        QCOMPARE(lines.mid(0, expected.size()), expected);
        QVERIFY2(lines.value(expected.size())
                     .contains(QRegularExpression("^UNKNOWN KEY CODE RECEIVED: [1-9]\\d*$")),
                 qPrintable(lines.value(expected.size())));
        QCOMPARE(lines.value(expected.size() + 1), "Known Keycodes are:");
        // The report is thirteen lines, and the close softkey prints nothing after it.
        QCOMPARE(lines.size(), expected.size() + 13);
    }

    // eglfs gave the first window of the process the whole screen, with the softkeys and page laid
    // out for the size the options asked for in its top left corner.
    void placedWindowOnEglfs()
    {
        QTemporaryDir folder;
        const QString document = TestDocuments::writeA4Document(folder.filePath("one.pdf"), 1);
        QVERIFY(!document.isEmpty());
        ViewerProcess viewer(SQUISH_PLUGIN_DIR, true);
        // eglfs draws into an X window of the screen's size with its X11 integration.
        QString prefix = "export QT_QPA_PLATFORM=eglfs QT_QPA_EGLFS_INTEGRATION=eglfs_x11; ";
        // The sanitizers' slow unwinder waits for ever on the lock of the unwind tables that Mesa's
        // shader compiler holds as it allocates; eglfs leaves its libraries' memory to the
        // process's end. The viewer's own leaks are checked on the other platforms.
        if (underSanitizers())
            prefix +=
                "export ASAN_OPTIONS=\"$ASAN_OPTIONS:fast_unwind_on_malloc=1:detect_leaks=0\"; ";
        viewer.setLaunchPrefix(prefix);
        QVERIFY2(viewer.startWithAutomation(
                     {"-x", "10", "-y", "20", "-w", "400", "-h", "260", "-f", document}),
                 qPrintable(viewer.error()));
        QVERIFY2(viewer.waitForDocument(), qPrintable(viewer.error()));
        const QRect window(10, 20, 400, 260);
        QCOMPARE(ViewerProcess::geometry(viewer.widget("PDFViewer")), window);

        // The close softkey's red cross shows where the plugin says; beside the window, black.
        const XvfbScreen &screen = *viewer.screen();
        const QRect close = ViewerProcess::geometry(viewer.widget("closeButton"));
        QVERIFY(window.contains(close));
        const auto redInClose = [&] {
            for (int y = close.top(); y <= close.bottom(); ++y)
                for (int x = close.left(); x <= close.right(); ++x) {
                    const QRgb p = screen.pixel(x, y);
                    if (qRed(p) > 180 && qGreen(p) < 90 && qBlue(p) < 90)
                        return true;
                }
            return false;
        };
        QVERIFY2(QTest::qWaitFor(redInClose, 10000), "no close softkey on the screen");
        for (const QPoint &beside : {QPoint(5, 5), QPoint(window.right() + 5, window.center().y()),
                                     QPoint(window.center().x(), window.bottom() + 5)})
            QCOMPARE(screen.pixel(beside.x(), beside.y()), qRgb(0, 0, 0));

        QVERIFY(viewer.key(Qt::Key_F8));
        QCOMPARE(viewer.waitForExit(), 0);
    }

    // With standard output closed, the lines went into the X connection and the viewer hung; with
    // a pipe whose reader had gone, the first line ended the viewer (SIGPIPE).
    void standardOutputGone_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::newRow("closed") << "exec >&-; ";
        QTest::newRow("pipe without reader")
            << "mkfifo out && { sh -c 'exec <out' & exec >out; wait; }; ";
    }

    void standardOutputGone()
    {
        QFETCH(QString, prefix);
        ViewerProcess viewer(SQUISH_PLUGIN_DIR, true);
        viewer.setLaunchPrefix(prefix);
        QVERIFY(QTest::qWaitFor(ViewerProcess::portFree, 120000));
        QVERIFY2(viewer.start(), qPrintable(viewer.error()));
        std::unique_ptr<QTcpSocket> client;
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         client = ViewerProcess::connectToPlugin(false);
                         ViewerProcess::send(*client, "{\"cmd\":\"widgets\"}\n");
                         return ViewerProcess::readLine(*client).contains("closeButton");
                     },
                     20000),
                 "no main window, or no answer");
        ViewerProcess::send(*client,
                            "{\"cmd\":\"key\",\"key\":" + QByteArray::number(Qt::Key_F8) + "}\n");
        QCOMPARE(viewer.waitForExit(), 0);
    }
};

QTEST_MAIN(TestE2EStartup)
#include "tst_e2e_startup.moc"
