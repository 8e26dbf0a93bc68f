#pragma once

#include <istream>
#include <string>

struct DeviceConfig;

// A device profile: KEY=VALUE lines that set the key codes, the softkey frames and the device
// number. Lines are taken as written by hand on the device, without trimming.

// Applies every line of the profile to config; keys it does not know are ignored.
void readProfile(std::istream &in, DeviceConfig &config);

// Reports the profile in use on standard output and applies it. A profile that cannot be opened
// is reported and leaves config as it is.
void loadProfile(const std::string &path, DeviceConfig &config);
