#pragma once

#include <QtGlobal>

#include <sys/resource.h>

// Lowers the address-space limit so that the process, with `mapped` bytes mapped now, can map
// at most allowedGrowth more while it lives, and restores it. Most of Poppler's memory is what the
// budget foresees, but not all: Splash scales an image to its whole size on the page before
// clipping it, and an image drawn far beyond its page takes many times the page's image in one
// allocation, between two of the watch's looks. Splash allocates such bitmaps with a check and
// leaves the image out when that fails, where the cgroup's limit, or the machine's, would have
// ended the process.
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
