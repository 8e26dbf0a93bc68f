#include "mainwindow/pdfviewer.h"

#include "config/deviceconfig.h"
#include "config/pointerfile.h"
#include "config/profile.h"

// The window's loaders only choose the files; pointerfile.h and profile.h read them.

void PDFViewer::loadDeviceConfig(const std::string &profilePath)
{
    if (profilePath.empty())
        locateConfigFile(pointerFilePath());
    else
        configFile = profilePath;
    loadProfile(configFile, deviceConfig);
}

void PDFViewer::locateConfigFile(const std::string &pointerPath)
{
    if (const std::optional<std::string> named = readPointerFile(pointerPath))
        configFile = *named;
}
