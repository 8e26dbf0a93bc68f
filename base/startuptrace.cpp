#include "base/startuptrace.h"

#include "base/processfootprint.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

void startupTrace(const char *phase)
{
    static const bool enabled = std::getenv("PAGE_SCOPE_STARTUP_TRACE") != nullptr;
    if (!enabled)
        return;
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::fprintf(stderr, "page-scope startup %.3f %lld %s\n",
                 double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6,
                 static_cast<long long>(ProcessFootprint::now().resident / 1024), phase);
    std::fflush(stderr);
}
