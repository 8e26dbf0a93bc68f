#include "base/startuptrace.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace {

long residentKilobytes()
{
    long pages = 0;
    long resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

} // namespace

void startupTrace(const char *phase)
{
    static const bool enabled = std::getenv("PAGE_SCOPE_STARTUP_TRACE") != nullptr;
    if (!enabled)
        return;
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::fprintf(stderr, "page-scope startup %.3f %ld %s\n",
                 double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6, residentKilobytes(), phase);
    std::fflush(stderr);
}
