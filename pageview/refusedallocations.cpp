#include "pageview/refusedallocations.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>

#include <malloc.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) ||                         \
    __has_feature(memory_sanitizer)
#define PAGE_SCOPE_FOREIGN_ALLOCATOR
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PAGE_SCOPE_FOREIGN_ALLOCATOR
#endif

namespace {

std::atomic<int> refusals{0};

} // namespace

#if defined(__GLIBC__) && !defined(PAGE_SCOPE_FOREIGN_ALLOCATOR)

extern "C" {
void *__libc_malloc(size_t size) noexcept;
void *__libc_calloc(size_t count, size_t size) noexcept;
void *__libc_realloc(void *pointer, size_t size) noexcept;
void *__libc_memalign(size_t alignment, size_t size) noexcept;
}

namespace {

// Runs inside every allocation, the dynamic loader's too, so it only counts.
void *counted(void *pointer, bool asked)
{
    if (!pointer && asked)
        refusals.fetch_add(1, std::memory_order_relaxed);
    return pointer;
}

} // namespace

// Defined in the program, these come before glibc's for every library it loads. free() and the
// rest stay glibc's own, which these forward to.
extern "C" {

void *malloc(size_t size) noexcept
{
    return counted(__libc_malloc(size), true);
}

void *calloc(size_t count, size_t size) noexcept
{
    return counted(__libc_calloc(count, size), count != 0 && size != 0);
}

// realloc(p, 0) frees and gives null; that is no refusal.
void *realloc(void *pointer, size_t size) noexcept
{
    return counted(__libc_realloc(pointer, size), size != 0);
}

void *memalign(size_t alignment, size_t size) noexcept
{
    return counted(__libc_memalign(alignment, size), true);
}

void *aligned_alloc(size_t alignment, size_t size) noexcept
{
    return counted(__libc_memalign(alignment, size), true);
}

// OpenJPEG's allocations, its tile buffers among them, all come this way.
int posix_memalign(void **result, size_t alignment, size_t size) noexcept
{
    const size_t words = alignment / sizeof(void *);
    if (alignment % sizeof(void *) != 0 || words == 0 || (words & (words - 1)) != 0)
        return EINVAL;
    void *pointer = counted(__libc_memalign(alignment, size), true);
    if (!pointer)
        return ENOMEM;
    *result = pointer;
    return 0;
}

} // extern "C"

bool RefusedAllocations::areCounted()
{
    return true;
}

#else

bool RefusedAllocations::areCounted()
{
    return false;
}

#endif

RefusedAllocations::RefusedAllocations() : countAtStart(refusals) {}

int RefusedAllocations::count() const
{
    return refusals - countAtStart;
}
