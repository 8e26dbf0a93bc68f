#pragma once

#include <istream>
#include <optional>
#include <string>

// The device's pointer file names the profile to use in its config_file line. Read only, and
// silently: a device without one simply uses the default profile.

// The profile path named by the first usable config_file line, or nothing when there is none.
std::optional<std::string> readPointerFile(std::istream &in);
// The same for a file; nothing when it cannot be opened.
std::optional<std::string> readPointerFile(const std::string &path);

// Where the viewer looks for the pointer file: the device's data directory. Tests and tools
// running on a device point it elsewhere, so that the device's own file cannot choose their
// profile.
const std::string &pointerFilePath();
void setPointerFilePath(const std::string &path);
