#pragma once

#include <string>

// What the command line decides besides the window geometry, which goes straight into
// deviceConfig.
struct CommandLineChoices
{
    std::string fileName;
    bool fileGiven = false;
    bool openButtonEnabled = false;
};

// Prints the "Arguments: " line, then reads the options with getopt_long, reporting each one on
// standard output. No option error ends the program. Safe to call more than once per process.
CommandLineChoices parseCommandLine(int argc, char **argv);
