// The pointer-file reader, PDFViewer::locateConfigFile, on arbitrary pointer files.
#include "fuzzsupport.h"

#include "mainwindow/pdfviewer.h"

#include <cstdint>

class PDFViewerTestAccess
{
public:
    static std::string &configFile(PDFViewer &viewer) { return viewer.configFile; }
};

namespace {

PDFViewer *viewer = nullptr;
std::string pointerPath;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzsupport::silenceStandardOutput();
    fuzzsupport::startApplication();
    viewer = new PDFViewer(nullptr, false);
    pointerPath = fuzzsupport::inputFile("pointer");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzsupport::writeInput(pointerPath, data, size);
    std::string &configFile = PDFViewerTestAccess::configFile(*viewer);
    configFile = "b7s.conf";

    viewer->locateConfigFile(pointerPath);

    if (configFile == "b7s.conf")
        return 0;
    const std::string text(reinterpret_cast<const char *>(data), size);
    fuzzsupport::require(text.find("config_file") != std::string::npos,
                         "a profile path taken from a file without a config_file line");
    fuzzsupport::require(configFile.find('\n') == std::string::npos,
                         "a profile path that spans lines");
    fuzzsupport::require(configFile.empty() ||
                             std::string(" \n\r\t").find(configFile.back()) == std::string::npos,
                         "a profile path with trailing blanks");
    fuzzsupport::require(text.find(configFile) != std::string::npos,
                         "a profile path that is not in the file");
    return 0;
}
