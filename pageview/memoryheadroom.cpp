#include "pageview/memoryheadroom.h"

#include "base/processfootprint.h"
#include "pageview/memorycgroup.h"

#include <malloc.h>
#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

// The bytes of the process's own mappings, or -1. The same sum as statm's on a device; under
// qemu's user mode, where statm tells the emulator's (its reserve of 4 GiB for the program
// included), the program's.
qint64 mappedBytes()
{
    FILE *maps = std::fopen("/proc/self/maps", "re");
    if (!maps)
        return -1;
    qint64 total = 0;
    unsigned long long start = 0, end = 0;
    while (std::fscanf(maps, "%llx-%llx%*[^\n]", &start, &end) == 2)
        total += qint64(end - start);
    std::fclose(maps);
    return total;
}

bool strictOvercommit()
{
    std::ifstream mode("/proc/sys/vm/overcommit_memory");
    int value = 0;
    return mode >> value && value == 2;
}

} // namespace

qint64 MemoryHeadroom::memoryRoom() const
{
    qint64 left = unlimited;
    if (cgroupRoom >= 0)
        left = qMin(left, cgroupRoom);
    if (memoryAvailable >= 0)
        left = qMin(left, memoryAvailable);
    return left;
}

qint64 MemoryHeadroom::mappable(qint64 untouched) const
{
    const qint64 room = memoryRoom();
    const qint64 memory = room > unlimited - untouched ? unlimited : room + untouched;
    if (addressSpaceLimit < 0)
        return memory;
    return qMin(qMax<qint64>(0, addressSpaceLimit - addressSpaceInUse), memory);
}

qint64 MemoryHeadroom::addressSpace() const
{
    if (addressSpaceLimit < 0)
        return unlimited;
    return qMax<qint64>(0, addressSpaceLimit - addressSpaceInUse) + reusableHeap;
}

qint64 MemoryHeadroom::bytes() const
{
    return qMin(addressSpace(), memoryRoom());
}

MemoryHeadroom MemoryHeadroom::current()
{
    MemoryHeadroom headroom;

    struct rlimit limit;
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        // rlim_t is 32 bits on some targets, 64 on others: compare in the wider type.
        headroom.addressSpaceLimit = qint64(qMin<quint64>(limit.rlim_cur, quint64(unlimited)));

    // A 32-bit process maps no more than its pointers reach, however much memory is free: below
    // 3 GiB less 16 MiB under a 32-bit ARM kernel (a 64-bit kernel gives it 4 GiB).
    const qint64 mapped = sizeof(void *) < 8 ? mappedBytes() : -1;
    headroom.addressSpaceInUse = mapped >= 0 ? mapped : ProcessFootprint::now().mapped;
    if (sizeof(void *) < 8) {
        constexpr qint64 reach = 3ll * 1024 * 1024 * 1024 - 16ll * 1024 * 1024;
        headroom.addressSpaceLimit =
            headroom.addressSpaceLimit < 0 ? reach : qMin(headroom.addressSpaceLimit, reach);
    }

#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 33)
    // Free chunks of all arenas; the other threads' are small beside the GUI thread's, which
    // a stopped render leaves behind. Where the chunks are too small for what a render asks,
    // it maps anew, and the watch bounds that as before.
    headroom.reusableHeap = qint64(mallinfo2().fordblks);
#endif

    // A process does not change its cgroup by itself; finding it once keeps each render's
    // check to the limit and usage files.
    static const MemoryCgroup cgroup = MemoryCgroup::find();
    headroom.cgroupRoom = cgroup.room();

    qint64 commitLimit = -1;
    qint64 committed = -1;
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    long long kilobytes = 0;
    std::string unit;
    while (meminfo >> key >> kilobytes) {
        std::getline(meminfo, unit);
        if (key == "MemAvailable:")
            headroom.memoryAvailable = qint64(kilobytes) * 1024;
        else if (key == "CommitLimit:")
            commitLimit = qint64(kilobytes) * 1024;
        else if (key == "Committed_AS:")
            committed = qint64(kilobytes) * 1024;
    }

    // A system that commits no more than it has (vm.overcommit_memory 2), as devices without swap
    // are often set, refuses an allocation beyond its commit limit however much memory is free,
    // and Poppler ends the process at a refusal it does not check. What is left to commit bounds
    // what new mappings may take, as an address-space limit does.
    if (commitLimit >= 0 && committed >= 0 && strictOvercommit()) {
        const qint64 reach = headroom.addressSpaceInUse + qMax<qint64>(0, commitLimit - committed);
        headroom.addressSpaceLimit =
            headroom.addressSpaceLimit < 0 ? reach : qMin(headroom.addressSpaceLimit, reach);
    }
    return headroom;
}

qint64 MemoryHeadroom::heapInUse()
{
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 33)
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
#else
    return 0;
#endif
}
