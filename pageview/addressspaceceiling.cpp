#include "pageview/addressspaceceiling.h"

AddressSpaceCeiling::AddressSpaceCeiling(qint64 mapped, qint64 allowedGrowth)
{
    if (getrlimit(RLIMIT_AS, &saved) != 0)
        return;
    const quint64 ceiling = quint64(mapped) + quint64(allowedGrowth);
    if (ceiling >= quint64(RLIM_INFINITY) || ceiling >= quint64(saved.rlim_cur))
        return;
    struct rlimit lowered = saved;
    lowered.rlim_cur = rlim_t(ceiling);
    restore = setrlimit(RLIMIT_AS, &lowered) == 0;
}

AddressSpaceCeiling::~AddressSpaceCeiling()
{
    if (restore)
        setrlimit(RLIMIT_AS, &saved);
}
