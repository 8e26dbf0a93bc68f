#pragma once

#include <QtGlobal>

#include <limits>

// What the process can still get of memory and address space, read from the system. A negative
// limit means there is no such limit.
struct MemoryHeadroom
{
    qint64 addressSpaceLimit = -1; // soft RLIMIT_AS; less in 32 bits or under strict overcommit
    qint64 addressSpaceInUse = 0;  // the process's mapped address space
    qint64 reusableHeap = 0;       // what malloc holds free in mappings it keeps
    qint64 memoryAvailable = -1;   // MemAvailable of the system
    qint64 cgroupRoom = -1;        // the tightest memory cgroup limit above the process
    // What every render of the document takes before its page: Poppler renders through a copy
    // of the document's cross-reference table, and reads again through it the objects the page
    // needs, about what the document took to open or to rebuild its table since (0 for none).
    // Set by the renderer.
    qint64 perRender = 0;

    // What memoryRoom() and addressSpace() give where there is no limit; the render's byte counts
    // saturate at it.
    static constexpr qint64 unlimited = std::numeric_limits<qint64>::max();

    // The memory left in the cgroup and the system, which every page touched anew uses up
    // (unlimited where there is no such limit).
    qint64 memoryRoom() const;
    // The smaller of that and the address space left under the limit: what new mappings
    // may still take, with `untouched` bytes among them that take address space but no
    // memory.
    qint64 mappable(qint64 untouched = 0) const;
    // The address space left under the limit with the freed heap (unlimited where there is no
    // limit).
    qint64 addressSpace() const;
    // What a render may take: the smaller of the memory room and addressSpace(), which counts
    // the freed heap that malloc hands out again without mapping anew. A render the watch
    // stopped leaves the heap mapped, pinned by whatever was allocated above it, and under an
    // address-space limit every later page would otherwise be left blank.
    qint64 bytes() const;

    // The process's headroom now, from getrlimit, /proc/self/statm (in a 32-bit process
    // /proc/self/maps), malloc's statistics, the memory cgroup's files, /proc/meminfo and the
    // overcommit mode: a handful of small reads.
    static MemoryHeadroom current();

    // malloc's bytes in use, which walks every free chunk of the heap; 0 where malloc cannot
    // tell.
    static qint64 heapInUse();
};
