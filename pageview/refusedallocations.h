#pragma once

// Counts the allocations refused while an instance lives. Poppler makes its large bitmaps (a
// scaled image, a mask) with a check, and its picture decoders (OpenJPEG, libjpeg) give up on a
// picture they cannot hold: either way Poppler leaves out what the memory was for, and says so at
// most in a line on standard error. So the program's malloc family counts every refusal on its
// way to glibc's. Where it is not ours (another C library, or a sanitizer's allocator), nothing is
// counted.
class RefusedAllocations
{
public:
    RefusedAllocations();
    RefusedAllocations(const RefusedAllocations &) = delete;
    RefusedAllocations &operator=(const RefusedAllocations &) = delete;

    int count() const;

    // Whether refusals are counted in this build.
    static bool areCounted();

private:
    int countAtStart = 0;
};
