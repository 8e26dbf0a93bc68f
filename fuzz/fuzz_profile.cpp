// The device profile reader, PDFViewer::loadDeviceConfig, on arbitrary profile files.
#include "fuzzsupport.h"

#include "config/deviceconfig.h"
#include "mainwindow/pdfviewer.h"

#include <cstdint>

namespace {

PDFViewer *viewer = nullptr;
std::string profilePath;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzsupport::silenceStandardOutput();
    fuzzsupport::startApplication();
    viewer = new PDFViewer(nullptr, false);
    profilePath = fuzzsupport::inputFile("profile");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzsupport::writeInput(profilePath, data, size);
    deviceConfig = DeviceConfig::defaults();
    // Values no profile can write: the geometry belongs to the command line alone.
    deviceConfig.windowX = -7;
    deviceConfig.windowY = -9;
    deviceConfig.windowWidth = 123;
    deviceConfig.windowHeight = 321;
    deviceConfig.softkeyFramesOnSide = false;

    viewer->loadDeviceConfig(profilePath);

    fuzzsupport::require(deviceConfig.windowX == -7 && deviceConfig.windowY == -9 &&
                             deviceConfig.windowWidth == 123 && deviceConfig.windowHeight == 321,
                         "a profile changed the window geometry");
    // Only the exact text TRUE, as a whole value, sets the side frames.
    const std::string text(reinterpret_cast<const char *>(data), size);
    fuzzsupport::require(!deviceConfig.softkeyFramesOnSide ||
                             text.find("SOFTKEY_FRAMES_ON_SIDE=TRUE") != std::string::npos,
                         "side frames set without SOFTKEY_FRAMES_ON_SIDE=TRUE");
    return 0;
}
