#include "base/console.h"

#include <iostream>

void consoleLine(const std::string &line)
{
    // A write that failed once, as on a full disk under the log, leaves the stream failed, and it
    // would drop every later line unwritten, also once there is room again.
    std::cout.clear();
    std::cout << line << std::endl;
}
