#include "base/console.h"

#include <iostream>

void consoleLine(const std::string &line)
{
    std::cout << line << std::endl;
}
