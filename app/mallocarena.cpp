#include "app/mallocarena.h"

#include <cstdlib>
#include <cstring>

#include <malloc.h>

void keepOneMallocArena()
{
    const char *tunables = std::getenv("GLIBC_TUNABLES");
    if (std::getenv("MALLOC_ARENA_MAX") || (tunables && std::strstr(tunables, "arena_max")))
        return;
    mallopt(M_ARENA_MAX, 1);
}
