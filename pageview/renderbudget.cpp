#include "pageview/renderbudget.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <string>

qint64 RenderBudget::Headroom::bytes() const
{
    qint64 left = std::numeric_limits<qint64>::max();
    if (addressSpaceLimit >= 0)
        left = qMax<qint64>(0, addressSpaceLimit - addressSpaceInUse);
    if (memoryAvailable >= 0)
        left = qMin(left, memoryAvailable);
    return left;
}

RenderBudget::Headroom RenderBudget::current()
{
    Headroom headroom;

    struct rlimit limit;
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        headroom.addressSpaceLimit =
            qint64(qMin<rlim_t>(limit.rlim_cur, rlim_t(std::numeric_limits<qint64>::max())));

    const long pageSize = sysconf(_SC_PAGESIZE);
    std::ifstream statm("/proc/self/statm");
    long long totalPages = 0;
    if (pageSize > 0 && statm >> totalPages)
        headroom.addressSpaceInUse = qint64(totalPages) * pageSize;

    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    long long kilobytes = 0;
    std::string unit;
    while (meminfo >> key >> kilobytes) {
        std::getline(meminfo, unit);
        if (key == "MemAvailable:") {
            headroom.memoryAvailable = qint64(kilobytes) * 1024;
            break;
        }
    }
    return headroom;
}

qint64 RenderBudget::bytesNeeded(const QSizeF &pointSize, double resolution)
{
    // Poppler rounds the page up to whole pixels; one more on each side is on the safe side.
    // Computed in double: a hostile page size must not overflow the arithmetic.
    const double width = std::ceil(qMax(0.0, pointSize.width()) * resolution / 72.0) + 1.0;
    const double height = std::ceil(qMax(0.0, pointSize.height()) * resolution / 72.0) + 1.0;
    const double bytes = width * height * 4.0 * imageFactor + double(workingMargin);
    if (!(bytes < double(std::numeric_limits<qint64>::max())))
        return std::numeric_limits<qint64>::max();
    return qint64(bytes);
}

bool RenderBudget::fits(const QSizeF &pointSize, double resolution, const Headroom &headroom)
{
    return bytesNeeded(pointSize, resolution) <= headroom.bytes();
}
