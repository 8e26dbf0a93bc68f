// Writes the hostile inputs into a folder, for running the viewer on them by hand:
//   make-hostile-documents DIRECTORY
// Each line of the output names a file and what the viewer must do with it.
#include "hostiledocuments.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // QPdfWriter paints with fonts; any platform will do.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-hostile-documents DIRECTORY\n");
        return 2;
    }
    if (!QDir().mkpath(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "make-hostile-documents: cannot create %s\n", argv[1]);
        return 1;
    }
    const QList<HostileDocuments::Entry> entries =
        HostileDocuments::writeAll(QString::fromLocal8Bit(argv[1]));
    if (entries.isEmpty()) {
        std::fprintf(stderr, "make-hostile-documents: writing into %s failed\n", argv[1]);
        return 1;
    }
    for (const HostileDocuments::Entry &entry : entries) {
        const char *outcome = entry.outcome == HostileDocuments::Outcome::Opens   ? "opens"
                              : entry.outcome == HostileDocuments::Outcome::Fails ? "fails"
                                                                                  : "either";
        std::printf("%s\t%s%s\n", qPrintable(entry.name), outcome, entry.heavy ? "\theavy" : "");
    }
    return 0;
}
