#pragma once

#include <QtGlobal>

#include <sys/resource.h>

// Lowers the address-space limit so that the process, with `mapped` bytes mapped now, can map
// at most allowedGrowth more while it lives, and restores it. Some of Poppler's large allocations
// are made with a check, and Poppler does without what is refused there, where the cgroup's
// limit, or the machine's, would have ended the process.
class AddressSpaceCeiling
{
public:
    AddressSpaceCeiling(qint64 mapped, qint64 allowedGrowth);
    ~AddressSpaceCeiling();
    AddressSpaceCeiling(const AddressSpaceCeiling &) = delete;
    AddressSpaceCeiling &operator=(const AddressSpaceCeiling &) = delete;

private:
    struct rlimit saved = {};
    bool restore = false;
};
