// The pointer-file reader, readPointerFile, on arbitrary pointer files.
#include "fuzzsupport.h"

#include "config/pointerfile.h"

#include <cstdint>
#include <sstream>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    std::istringstream in(text);
    const std::optional<std::string> named = readPointerFile(in);

    if (!named)
        return 0;
    const std::string &profile = *named;
    fuzzsupport::require(text.find("config_file") != std::string::npos,
                         "a profile path taken from a file without a config_file line");
    fuzzsupport::require(profile.find('\n') == std::string::npos,
                         "a profile path that spans lines");
    fuzzsupport::require(profile.empty() ||
                             std::string(" \n\r\t").find(profile.back()) == std::string::npos,
                         "a profile path with trailing blanks");
    fuzzsupport::require(text.find(profile) != std::string::npos,
                         "a profile path that is not in the file");
    return 0;
}
