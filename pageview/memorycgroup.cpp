#include "pageview/memorycgroup.h"

#include <fstream>
#include <limits>
#include <sstream>
#include <string>

namespace {

// Both versions write a number near 2^63 for "no limit" (v1 rounds it down to whole pages).
constexpr qint64 noLimit = qint64(1) << 60;

// The first number in a file, or -1; v2's "max" reads as no limit.
qint64 readNumber(const QString &path)
{
    std::ifstream file(path.toStdString());
    std::string word;
    if (!(file >> word))
        return -1;
    if (word == "max")
        return std::numeric_limits<qint64>::max();
    try {
        return qint64(std::stoll(word));
    } catch (...) {
        return -1;
    }
}

// The file cache of a level that the kernel drops before it kills anything: its inactive file
// pages, and the active ones that no process maps, such as a document read twice. Mapped pages
// are code and data in use, which would only be read back in again.
qint64 reclaimableFileCache(const QString &directory, bool v2)
{
    std::ifstream file((directory + QStringLiteral("/memory.stat")).toStdString());
    const std::string prefix = v2 ? "" : "total_";
    const std::string mappedKey = v2 ? "file_mapped" : "total_mapped_file";
    qint64 inactive = 0, active = 0, mapped = 0;
    std::string name;
    long long value = 0;
    while (file >> name >> value) {
        if (name == prefix + "inactive_file")
            inactive = value;
        else if (name == prefix + "active_file")
            active = value;
        else if (name == mappedKey)
            mapped = value;
    }
    return inactive + qMax<qint64>(0, active - mapped);
}

// The file that holds a level's hard limit.
QString limitFile(int version)
{
    return version == 2 ? QStringLiteral("/memory.max") : QStringLiteral("/memory.limit_in_bytes");
}

struct Mount
{
    std::string root;
    std::string point;
};

// The mount of the v1 memory hierarchy, or of the v2 unified one, from mountinfo.
bool findMount(const QString &mountInfo, bool v2, Mount *mount)
{
    std::ifstream file(mountInfo.toStdString());
    std::string line;
    while (std::getline(file, line)) {
        // id parent major:minor root point options [optional fields] - type source super-options
        std::istringstream fields(line);
        std::string id, parent, device, root, point, options, field;
        if (!(fields >> id >> parent >> device >> root >> point >> options))
            continue;
        while (fields >> field && field != "-") {
        }
        std::string type, source, superOptions;
        fields >> type >> source >> superOptions;
        const bool memoryV1 =
            type == "cgroup" && ("," + superOptions + ",").find(",memory,") != std::string::npos;
        if (v2 ? type == "cgroup2" : memoryV1) {
            *mount = {root, point};
            return true;
        }
    }
    return false;
}

} // namespace

MemoryCgroup MemoryCgroup::find(const QString &procSelf, const QString &mountRoot)
{
    MemoryCgroup cgroup;
    // hierarchy-id:controllers:path; a v1 line naming memory wins over the unified "0::" line,
    // since a controller belongs to one hierarchy only.
    std::ifstream file((procSelf + QStringLiteral("/cgroup")).toStdString());
    std::string line, path;
    int version = 0;
    while (std::getline(file, line)) {
        const auto first = line.find(':');
        const auto second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos)
            continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        if (("," + controllers + ",").find(",memory,") != std::string::npos) {
            version = 1;
            path = line.substr(second + 1);
        } else if (version == 0 && line.compare(0, 3, "0::") == 0) {
            version = 2;
            path = line.substr(second + 1);
        }
    }
    Mount mount;
    if (version == 0 || !findMount(procSelf + QStringLiteral("/mountinfo"), version == 2, &mount))
        return cgroup;

    // Without a cgroup namespace the path is the hierarchy's, and the mount may show a subtree.
    if (mount.root != "/" && path.compare(0, mount.root.size(), mount.root) == 0)
        path = path.substr(mount.root.size());
    QString top = mountRoot + QString::fromStdString(mount.point);
    QString directory = top + QString::fromStdString(path == "/" ? std::string() : path);
    while (directory.startsWith(top)) {
        // v2's root has no limit files; it is the machine, which MemAvailable covers.
        if (std::ifstream((directory + limitFile(version)).toStdString()).good())
            cgroup.directories.append(directory);
        if (directory == top)
            break;
        directory = directory.left(qMax(top.size(), directory.lastIndexOf('/')));
    }
    cgroup.controllerVersion = version;
    return cgroup;
}

qint64 MemoryCgroup::room() const
{
    const bool v2 = controllerVersion == 2;
    qint64 tightest = -1;
    QString tightestDirectory;
    for (const QString &directory : directories) {
        qint64 limit = readNumber(directory + limitFile(controllerVersion));
        // Above v2's memory.high (systemd's MemoryHigh=) the kernel throttles the group and
        // reclaims from it hard; without swap, a render beyond it stalls the viewer, so it
        // bounds the room as memory.max does.
        const qint64 high = v2 ? readNumber(directory + QStringLiteral("/memory.high")) : -1;
        if (high >= 0 && (limit < 0 || high < limit))
            limit = high;
        if (limit < 0 || limit >= noLimit)
            continue;
        const qint64 usage =
            readNumber(directory + (v2 ? QStringLiteral("/memory.current")
                                       : QStringLiteral("/memory.usage_in_bytes")));
        const qint64 left = qMax<qint64>(0, limit - qMax<qint64>(0, usage));
        if (tightest < 0 || left < tightest) {
            tightest = left;
            tightestDirectory = directory;
        }
    }
    // Read for the tightest level only: memory.stat is the one long file here.
    if (tightest >= 0)
        tightest += reclaimableFileCache(tightestDirectory, v2);
    return tightest;
}
