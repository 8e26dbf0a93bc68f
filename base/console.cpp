#include "base/console.h"

#include <iostream>

void consoleLine(const std::string &line)
{
    // A file name may hold a line break, from a card written by another system or a launcher's
    // list of names: written as is, it would end the line early, and whatever reads the lines
    // would take the rest of the name for a line of its own.
    std::string single;
    single.reserve(line.size());
    for (const char c : line) {
        if (c == '\n')
            single += "\\n";
        else
            single += c;
    }
    // A write that failed once, as on a full disk under the log, leaves the stream failed, and it
    // would drop every later line unwritten, also once there is room again.
    std::cout.clear();
    std::cout << single << std::endl;
}
