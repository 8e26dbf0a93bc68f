#pragma once

#include <fstream>
#include <string>

#include <sys/stat.h>

// Opens a configuration file for reading. A FIFO, a terminal or another device stays closed, as
// a file that cannot be opened: at start-up, before the window ever shows, its open would wait
// for a writer, or its reading for input or for ever. A directory is opened as a plain stream
// opens it, and reads as an empty file.
inline void openConfigFile(std::ifstream &file, const std::string &path)
{
    struct stat status;
    if (stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode))
        return;
    file.open(path, std::ios::in);
}
