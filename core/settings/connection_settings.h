#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/ini_file.h"
#include "core/scales.h"

namespace station {

// Where the four scales are reached, and whether the technical log panel is shown.
struct ConnectionSettings {
    std::array<std::string, kScaleCount> addresses{"127.0.0.1", "127.0.0.1", "127.0.0.1",
                                                   "127.0.0.1"};
    std::array<std::int32_t, kScaleCount> ports{2001, 2002, 2003, 2004};
    bool show_log = false;  // never stored
};

// A port a connection can use. Stored files may hold others (they are loaded as they are), but
// the settings dialog accepts only these.
constexpr bool IsUsablePort(std::int32_t port) {
    return port >= 1 && port <= 65535;
}

// The settings file, beside the register files below the working directory.
inline constexpr const char* kSettingsFileName = "dane/konfig.ini";

// Reads the eight stored values; what is missing or does not convert takes its default.
void LoadConnectionSettings(ConnectionSettings& settings, const IniFile& file);

// Writes address1 to address4, then port1 to port4. Throws IniWriteError at the first
// write that fails; the keys written before it stay written.
void SaveConnectionSettings(const ConnectionSettings& settings, IniFile& file);

}  // namespace station
