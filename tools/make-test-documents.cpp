// Writes the standard set of test documents into a folder, for the fuzz seeds, the render
// measurements and runs by hand, or one A4 document of many pages.

#include "testdocuments.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char **argv)
{
    // Only painting to files happens here, so no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    // --a4 PAGES FILE: one long document, such as a device's manual.
    if (args.size() == 4 && args.at(1) == "--a4" && args.at(2).toInt() > 0) {
        if (TestDocuments::writeA4Document(args.at(3), args.at(2).toInt()).isEmpty()) {
            std::fprintf(stderr, "make-test-documents: writing %s failed\n", qPrintable(args.at(3)));
            return 1;
        }
        return 0;
    }
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: make-test-documents DIRECTORY\n"
                             "       make-test-documents --a4 PAGES FILE\n");
        return 2;
    }
    const QString directory = args.at(1);
    if (!QDir().mkpath(directory)) {
        std::fprintf(stderr, "make-test-documents: cannot create %s\n", qPrintable(directory));
        return 1;
    }
    const QStringList written = TestDocuments::writeStandardSet(directory);
    if (written.isEmpty()) {
        std::fprintf(stderr, "make-test-documents: writing the documents into %s failed\n",
                     qPrintable(directory));
        return 1;
    }
    for (const QString &path : written)
        std::printf("%s\n", QFile::encodeName(path).constData());
    return 0;
}
