#include "config/pointerfile.h"

#include "config/configfile.h"

#include <fstream>

namespace {

const char pointerDirectory[] = "/data";
const char pointerFileName[] = "/device_config.ini";

std::string &pointerLocation()
{
    static std::string location = std::string(pointerDirectory) + pointerFileName;
    return location;
}

} // namespace

std::optional<std::string> readPointerFile(std::istream &in)
{
    std::string line;
    // Only lines ended by a newline count: a half-written last line is never trusted.
    while (std::getline(in, line) && in.good()) {
        if (line.empty() || line[0] == '[')
            continue;
        if (line.substr(0, line.find('=')) != "config_file")
            continue;
        const std::string::size_type lastEquals = line.rfind('=');
        std::string value = lastEquals == std::string::npos ? line : line.substr(lastEquals + 1);
        value.erase(value.find_last_not_of(" \n\r\t") + 1);
        return value;
    }
    return std::nullopt;
}

std::optional<std::string> readPointerFile(const std::string &path)
{
    std::ifstream pointer;
    openConfigFile(pointer, path);
    if (!pointer.is_open())
        return std::nullopt;
    return readPointerFile(pointer);
}

const std::string &pointerFilePath()
{
    return pointerLocation();
}

void setPointerFilePath(const std::string &path)
{
    pointerLocation() = path;
}
