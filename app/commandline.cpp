#include "app/commandline.h"

#include "base/console.h"
#include "config/deviceconfig.h"

#include <getopt.h>

#include <cstdint>
#include <cstdlib>

namespace {

const char shortOptions[] = "x:y:w:h:f:o";

const struct option longOptions[] = {
    {"x_position", required_argument, nullptr, 'x'},
    {"y_position", required_argument, nullptr, 'y'},
    {"width", required_argument, nullptr, 'w'},
    {"height", required_argument, nullptr, 'h'},
    {"file", required_argument, nullptr, 'f'},
    {"open_button", no_argument, nullptr, 'o'},
    {nullptr, 0, nullptr, 0},
};

// strtol semantics, saturating at the largest size a widget can have, so that a huge value
// neither wraps into a nonsense geometry nor overflows the layout arithmetic.
int32_t toGeometry(const char *text)
{
    constexpr long limit = 16777215; // QWIDGETSIZE_MAX
    const long value = std::strtol(text, nullptr, 10);
    return static_cast<int32_t>(value > limit ? limit : value < -limit ? -limit : value);
}

} // namespace

CommandLineChoices parseCommandLine(int argc, char **argv)
{
    CommandLineChoices choices;
    consoleLine("Arguments: " + std::to_string(argc));

    // Zero (rather than 1) makes glibc re-initialise its whole scanner, including the state
    // of a previous parse that stopped inside a group of short options.
    optind = 0;
    int result;
    while ((result = getopt_long(argc, argv, shortOptions, longOptions, nullptr)) != -1) {
        const std::string value = optarg ? optarg : "NONE";
        consoleLine("page-scope evaluating arg '" + std::string(1, static_cast<char>(result)) +
                    "' with value '" + value + "'.");
        switch (result) {
        case 'x':
            deviceConfig.windowX = toGeometry(optarg);
            break;
        case 'y':
            deviceConfig.windowY = toGeometry(optarg);
            break;
        case 'w':
            deviceConfig.windowWidth = toGeometry(optarg);
            break;
        case 'h':
            deviceConfig.windowHeight = toGeometry(optarg);
            break;
        case 'f':
            choices.fileName = optarg;
            choices.fileGiven = true;
            break;
        case 'o':
            choices.openButtonEnabled = true;
            break;
        default:
            if (optopt == 'f') {
                consoleLine("page-scope arg '-f' or '--file' require path and filename.");
                choices.fileGiven = true;
            } else {
                // getopt stores the letter as a char, which is signed on x86 and not on ARM.
                const int code = static_cast<unsigned char>(optopt);
                consoleLine("page-scope INCOMPLETE arg '" + std::to_string(code) +
                            "' found - ignored");
            }
            break;
        }
    }
    return choices;
}
