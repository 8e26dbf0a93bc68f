#include "chooser/listingbudget.h"

#include "pageview/memoryheadroom.h"

#include <dirent.h>

#include <cstring>

QString ListingBudget::refusal(const QByteArray &folder, const MemoryHeadroom &headroom)
{
    DIR *directory = opendir(folder.constData());
    if (!directory)
        return {};
    // Names only, no stat: the model's gatherer reads the folder again, and stats every entry.
    qint64 entries = 0;
    while (const dirent *entry = readdir(directory))
        entries += std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0;
    closedir(directory);
    const qint64 need = entries * bytesPerEntry;
    if (need <= headroom.bytes() / 2)
        return {};
    constexpr double mebibyte = 1024.0 * 1024.0;
    return QString::asprintf("%lld entries need %.1f MiB, more than half the headroom (%.1f MiB)",
                             entries, double(need) / mebibyte, double(headroom.bytes()) / mebibyte);
}
