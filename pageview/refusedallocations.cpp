#include "pageview/refusedallocations.h"

#include <atomic>

namespace {

std::atomic<int> refusals{0};

#if defined(__GLIBC__)
// Poppler's whole report of a refused allocation.
constexpr char refusal[] = "Out of memory\n";

FILE *forwardedTo = nullptr;
size_t matched = 0; // characters of the refusal line seen last

// Forwards without buffering, so that nothing is held back or reordered, and without allocating,
// since it runs when memory is short. 'O' occurs only at the start of the line, so a mismatch
// can only restart a match there.
ssize_t forward(void *, const char *data, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        matched = data[i] == refusal[matched] ? matched + 1 : data[i] == refusal[0] ? 1 : 0;
        if (matched == sizeof refusal - 1) {
            ++refusals;
            matched = 0;
        }
    }
    return ssize_t(std::fwrite(data, 1, size, forwardedTo));
}

// Made once and never closed: another thread may still hold it after the swap back, and then it
// only forwards.
FILE *watchingStream()
{
    static FILE *const stream = [] {
        forwardedTo = stderr;
        FILE *watching = fopencookie(nullptr, "w", {nullptr, forward, nullptr, nullptr});
        if (watching)
            std::setvbuf(watching, nullptr, _IONBF, 0);
        return watching;
    }();
    return stream;
}
#else
FILE *watchingStream()
{
    return nullptr;
}
#endif

} // namespace

RefusedAllocations::RefusedAllocations() : countAtStart(refusals)
{
    if (FILE *watching = watchingStream()) {
        std::fflush(stderr);
        previous = stderr;
        stderr = watching;
    }
}

RefusedAllocations::~RefusedAllocations()
{
    if (previous)
        stderr = previous;
}

int RefusedAllocations::count() const
{
    return refusals - countAtStart;
}
