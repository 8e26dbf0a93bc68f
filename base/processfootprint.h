#pragma once

#include <QtGlobal>

#include <cstdio>
#include <unistd.h>

// The process's mapped and resident bytes, from one read of /proc/self/statm; zero where it
// cannot be read. Cheap enough to take while Poppler renders.
struct ProcessFootprint
{
    qint64 mapped = 0;
    qint64 resident = 0;

    static ProcessFootprint now()
    {
        ProcessFootprint footprint;
        long long size = 0;
        long long resident = 0;
        if (FILE *statm = std::fopen("/proc/self/statm", "re")) {
            if (std::fscanf(statm, "%lld %lld", &size, &resident) == 2) {
                const qint64 pageSize = sysconf(_SC_PAGESIZE);
                footprint.mapped = size * pageSize;
                footprint.resident = resident * pageSize;
            }
            std::fclose(statm);
        }
        return footprint;
    }
};
