#pragma once

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <streambuf>
#include <string>

// Shared by the fuzz targets and by the replay of their finds in the test suite.
namespace fuzzsupport {

// The viewer's diagnostic lines would cost more than the code under test.
class NullBuffer : public std::streambuf
{
protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
};

inline void silenceStandardOutput()
{
    // Never destroyed: the standard streams are flushed after every static object is gone.
    static NullBuffer *sink = new NullBuffer;
    std::cout.rdbuf(sink);
}

// A QApplication on the offscreen platform, alive for the rest of the process.
inline void startApplication()
{
    if (QApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "page-scope-fuzz";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

// The loaders read files by path: each input is written to a file in a folder of this process,
// which goes when the process exits. After a crash it stays, with the input that caused it.
inline std::string inputFile(const char *name)
{
    static QTemporaryDir folder(QDir::tempPath() + "/page-scope-fuzz-XXXXXX");
    return folder.filePath(name).toStdString();
}

inline void writeInput(const std::string &path, const unsigned char *data, size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data), std::streamsize(size));
}

// A broken invariant is a find like a crash: report it and abort, so the fuzzer keeps the input.
inline void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "page-scope fuzz: invariant broken: %s\n", what);
        std::abort();
    }
}

} // namespace fuzzsupport
