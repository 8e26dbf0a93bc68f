#pragma once

#include <string>

// Every diagnostic of the viewer is one line on standard output, flushed at once so that a
// device's log collector sees it even if the process dies right after.
void consoleLine(const std::string &line);
