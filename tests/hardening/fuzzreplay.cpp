// Feeds a fuzz target every file of the folders in PAGE_SCOPE_REPLAY_DIRS (separated by colons)
// and of the command line, as libFuzzer replays a crash; a broken invariant aborts.
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char *argv[])
{
    QStringList files;
    for (const QString &folder :
         qEnvironmentVariable("PAGE_SCOPE_REPLAY_DIRS").split(':', Qt::SkipEmptyParts))
        for (const QFileInfo &file : QDir(folder).entryInfoList(QDir::Files, QDir::Name))
            files.append(file.filePath());
    for (int i = 1; i < argc; ++i)
        files.append(QString::fromLocal8Bit(argv[i]));
    if (files.isEmpty()) {
        std::fprintf(stderr, "fuzzreplay: no inputs\n");
        return 1;
    }

    LLVMFuzzerInitialize(&argc, &argv);
    for (const QString &path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "fuzzreplay: cannot read %s\n", qPrintable(path));
            return 1;
        }
        const QByteArray bytes = file.readAll();
        std::fprintf(stderr, "fuzzreplay: %s (%d bytes)\n", qPrintable(path), int(bytes.size()));
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()),
                               size_t(bytes.size()));
    }
    std::fprintf(stderr, "fuzzreplay: %d inputs done\n", int(files.size()));
    return 0;
}
