// The command-line parser on an argument vector made from the input: arguments are separated by
// NUL bytes. Each input is parsed twice, since getopt keeps its state in globals between calls
// and the second parse must not see anything of the first.
#include "fuzzsupport.h"

#include "app/commandline.h"
#include "config/deviceconfig.h"

#include <cstdint>
#include <tuple>
#include <vector>

namespace {

struct Result
{
    CommandLineChoices choices;
    DeviceConfig config;
};

Result parse(const std::vector<std::string> &arguments)
{
    // getopt_long permutes the vector; every parse gets a fresh copy.
    std::vector<std::vector<char>> storage;
    std::vector<char *> argv;
    for (const std::string &argument : arguments) {
        storage.emplace_back(argument.begin(), argument.end());
        storage.back().push_back('\0');
    }
    for (std::vector<char> &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    deviceConfig = DeviceConfig::defaults();
    Result result;
    result.choices = parseCommandLine(int(argv.size() - 1), argv.data());
    result.config = deviceConfig;
    return result;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzsupport::silenceStandardOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> arguments = {"page-scope"};
    std::string current;
    for (size_t i = 0; i < size && arguments.size() < 64; ++i) {
        if (data[i] == '\0') {
            arguments.push_back(current);
            current.clear();
        } else {
            current.push_back(char(data[i]));
        }
    }
    if (!current.empty() && arguments.size() < 64)
        arguments.push_back(current);

    const Result first = parse(arguments);
    const Result second = parse(arguments);

    fuzzsupport::require(first.choices.fileName == second.choices.fileName &&
                             first.choices.fileGiven == second.choices.fileGiven &&
                             first.choices.openButtonEnabled == second.choices.openButtonEnabled &&
                             first.config == second.config,
                         "a second parse of the same arguments gave another result");

    DeviceConfig expected = DeviceConfig::defaults();
    expected.windowX = first.config.windowX;
    expected.windowY = first.config.windowY;
    expected.windowWidth = first.config.windowWidth;
    expected.windowHeight = first.config.windowHeight;
    fuzzsupport::require(expected == first.config,
                         "the command line changed more than the window geometry");
    for (int32_t value : {first.config.windowX, first.config.windowY, first.config.windowWidth,
                          first.config.windowHeight})
        fuzzsupport::require(value >= -16777215 && value <= 16777215,
                             "a geometry value beyond the largest widget size");
    fuzzsupport::require(first.choices.fileName.empty() || first.choices.fileGiven,
                         "a file name without the file flag");
    return 0;
}
