#include "config/profile.h"

#include "base/console.h"
#include "config/configfile.h"
#include "config/deviceconfig.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>

namespace {

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
// strtoul clamps at the limits of unsigned long, which has 32 bits on the device's ARM; a wider
// value clamps there on every machine, so that a profile means on a PC what it means on the device.
int32_t toKeyCode(const std::string &value)
{
    errno = 0;
    const unsigned long long number = std::strtoull(value.c_str(), nullptr, 0);
    // After a minus sign the result is negated; its magnitude is what has to fit.
    const size_t first = value.find_first_not_of(" \t\n\v\f\r");
    const bool negative = first != std::string::npos && value[first] == '-';
    const unsigned long long magnitude = negative ? 0 - number : number;
    if (errno == ERANGE || magnitude > std::numeric_limits<uint32_t>::max())
        return -1; // every bit set, as strtoul gives on the device
    return static_cast<int32_t>(static_cast<uint32_t>(number));
}

void applyProfileLine(const std::string &key, const std::string &value, DeviceConfig &config)
{
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

void readProfile(std::istream &in, DeviceConfig &config)
{
    // A line too long for the buffer is the last one read.
    while (in.good()) {
        char buffer[255];
        std::memset(buffer, 0, sizeof buffer);
        in.getline(buffer, sizeof buffer);
        const std::string line(buffer);
        if (line.empty() || line[0] == '#')
            continue;
        const std::string::size_type equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        applyProfileLine(line.substr(0, equals), line.substr(equals + 1), config);
    }
}

void loadProfile(const std::string &path, DeviceConfig &config)
{
    consoleLine("Using config file " + path);

    std::ifstream profile;
    openConfigFile(profile, path);
    if (!profile.is_open() || !profile.good()) {
        consoleLine("Opening " + path + " FAILED! Using default B7 config!");
        return;
    }
    readProfile(profile, config);
}
