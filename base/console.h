#pragma once

#include <string>

// The viewer's diagnostics: each one line on standard output, flushed at once so that a device's
// log collector sees it even if the process dies right after. The render's memory reports
// (pageview/pagerenderer.h), the count of Poppler's messages not shown (pageview/popplermessages.h)
// and the start-up trace (base/startuptrace.h) go to standard error instead, leaving standard
// output as it was.
void consoleLine(const std::string &line);

// A diagnostic that standard output must not carry, such as one that names a file only under a
// memory limit: one line on standard error, written as consoleLine writes its lines.
void errorLine(const std::string &line);
