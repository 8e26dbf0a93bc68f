// The device profile reader, readProfile, on arbitrary profiles.
#include "fuzzsupport.h"

#include "config/deviceconfig.h"
#include "config/profile.h"

#include <cstdint>
#include <sstream>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    DeviceConfig config = DeviceConfig::defaults();
    // Values no profile can write: the geometry belongs to the command line alone.
    config.windowX = -7;
    config.windowY = -9;
    config.windowWidth = 123;
    config.windowHeight = 321;
    config.softkeyFramesOnSide = false;

    std::istringstream in(text);
    readProfile(in, config);

    fuzzsupport::require(config.windowX == -7 && config.windowY == -9 &&
                             config.windowWidth == 123 && config.windowHeight == 321,
                         "a profile changed the window geometry");
    // Only a line SOFTKEY_FRAMES_ON_SIDE=TRUE, up to its end or a NUL byte (where the reader
    // cuts a line), sets the side frames.
    fuzzsupport::require(!config.softkeyFramesOnSide ||
                             text.find("SOFTKEY_FRAMES_ON_SIDE=TRUE") != std::string::npos,
                         "side frames set without SOFTKEY_FRAMES_ON_SIDE=TRUE");
    return 0;
}
