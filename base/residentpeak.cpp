#include "base/residentpeak.h"

#include "base/procstatus.h"

#include <cstdio>

ResidentPeak::ResidentPeak()
{
    // "5" resets the peak only; nothing else about the process changes.
    FILE *clear = std::fopen("/proc/self/clear_refs", "we");
    if (!clear)
        return;
    const bool written = std::fputs("5", clear) >= 0;
    if (std::fclose(clear) == 0 && written)
        startKib = statusKib("VmRSS");
}

qint64 ResidentPeak::growth() const
{
    const qint64 peakKib = startKib < 0 ? -1 : statusKib("VmHWM");
    return peakKib < 0 ? -1 : (peakKib - startKib) * 1024;
}
