#pragma once

#include <cstddef>

// From the sanitizer runtime, when built with one (GCC installs no header that declares it).
extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

// Instrumented, a viewer that a test starts is several times slower, and its memory is as much
// the sanitizers' as its own.
inline bool underSanitizers()
{
    return __sanitizer_get_current_allocated_bytes != nullptr;
}
