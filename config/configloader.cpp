#include "mainwindow/pdfviewer.h"

#include "app/console.h"
#include "config/deviceconfig.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>

namespace {

const char pointerDirectory[] = "/data";
const char pointerFileName[] = "/device_config.ini";

int32_t toSigned(const std::string &value)
{
    const long number = std::strtol(value.c_str(), nullptr, 0);
    if (number > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (number < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(number);
}

// Key codes are stored bit for bit: a profile may write them in hex as the toolkit lists them.
int32_t toKeyCode(const std::string &value)
{
    const unsigned long number = std::strtoul(value.c_str(), nullptr, 0);
    return static_cast<int32_t>(static_cast<uint32_t>(number));
}

void applyProfileLine(const std::string &key, const std::string &value)
{
    DeviceConfig &config = deviceConfig;
    if (key == "DEVICE")
        config.deviceType = toSigned(value);
    else if (key == "NO_OF_SOFTKEYS_PER_FRAME")
        config.softkeysPerFrame = toSigned(value);
    else if (key == "SOFTKEY_FRAMES_ON_SIDE")
        config.softkeyFramesOnSide = value == "TRUE";
    else if (key == "NO_OF_SOFTKEY_FRAMES")
        config.softkeyFrameCount = toSigned(value);
    else if (key == "KEY_OPEN")
        config.keyOpen = toKeyCode(value);
    else if (key == "KEY_ENTER")
        config.keyEnter = toKeyCode(value);
    else if (key == "KEY_UP")
        config.keyUp = toKeyCode(value);
    else if (key == "KEY_DOWN")
        config.keyDown = toKeyCode(value);
    else if (key == "KEY_LEFT")
        config.keyLeft = toKeyCode(value);
    else if (key == "KEY_RIGHT")
        config.keyRight = toKeyCode(value);
    else if (key == "KEY_ZOOM_IN")
        config.keyZoomIn = toKeyCode(value);
    else if (key == "KEY_ZOOM_OUT")
        config.keyZoomOut = toKeyCode(value);
    else if (key == "KEY_ESCAPE")
        config.keyEscape = toKeyCode(value);
    else if (key == "KEY_CLOSE")
        config.keyClose = toKeyCode(value);
    else if (key == "KEY_HOME")
        config.keyHome = toKeyCode(value);
}

} // namespace

void PDFViewer::loadDeviceConfig(const std::string &profilePath)
{
    if (profilePath.empty())
        locateConfigFile(std::string(pointerDirectory) + pointerFileName);
    else
        configFile = profilePath;

    consoleLine("Using config file " + configFile);

    std::ifstream profile(configFile, std::ios::in);
    if (!profile.is_open() || !profile.good()) {
        consoleLine("Opening " + configFile + " FAILED! Using default B7 config!");
        profile.close();
        return;
    }

    // Profiles are written by hand on the device: lines are taken as they are, and a line too
    // long for the buffer is the last one read.
    while (profile.good()) {
        char buffer[255];
        std::memset(buffer, 0, sizeof buffer);
        profile.getline(buffer, sizeof buffer);
        const std::string line(buffer);
        if (line.empty() || line[0] == '#')
            continue;
        const std::string::size_type equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        applyProfileLine(line.substr(0, equals), line.substr(equals + 1));
    }
    profile.close();
}

void PDFViewer::locateConfigFile(const std::string &pointerPath)
{
    std::ifstream pointer(pointerPath, std::ios::in);
    if (!pointer.is_open())
        return;

    std::string line;
    // Only lines ended by a newline count: a half-written last line is never trusted.
    while (std::getline(pointer, line) && pointer.good()) {
        if (line.empty() || line[0] == '[')
            continue;
        if (line.substr(0, line.find('=')) != "config_file")
            continue;
        const std::string::size_type lastEquals = line.rfind('=');
        std::string value = lastEquals == std::string::npos ? line : line.substr(lastEquals + 1);
        value.erase(value.find_last_not_of(" \n\r\t") + 1);
        configFile = value;
        break;
    }
    pointer.close();
}
