#pragma once

#include <fstream>
#include <string>

#include <sys/stat.h>

// Opens a configuration file for reading. A FIFO stays closed, as a file that cannot be opened:
// its open would wait for a writer, at start-up, before the window ever shows.
inline void openConfigFile(std::ifstream &file, const std::string &path)
{
    struct stat status;
    if (stat(path.c_str(), &status) == 0 && S_ISFIFO(status.st_mode))
        return;
    file.open(path, std::ios::in);
}
