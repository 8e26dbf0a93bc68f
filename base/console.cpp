#include "base/console.h"

#include <iostream>

namespace {

// A file name may hold a line break, from a card written by another system or a launcher's list
// of names: written as is, it would end the line early, and whatever reads the lines would take
// the rest of the name for a line of its own.
void writeLine(std::ostream &stream, const std::string &line)
{
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
    stream.clear();
    stream << single << std::endl;
}

} // namespace

void consoleLine(const std::string &line)
{
    writeLine(std::cout, line);
}

void errorLine(const std::string &line)
{
    writeLine(std::cerr, line);
}
