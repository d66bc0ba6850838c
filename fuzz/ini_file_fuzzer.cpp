// Any settings file: reading never fails, and after a save the eight values read back as saved,
// whatever else the file holds.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "common/ini_file.h"
#include "core/settings/connection_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Memory-backed where there is such a directory: every save syncs the file to disk.
    static const std::string kPath =
        std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/station-fuzz-" +
        std::to_string(getpid()) + ".ini";
    std::ofstream(kPath, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    station::IniFile file(kPath);
    station::ConnectionSettings loaded;
    station::LoadConnectionSettings(loaded, file);

    // Values a settings dialog can produce: no line breaks, no blanks or quotes at the ends.
    station::ConnectionSettings saved = loaded;
    for (std::size_t i = 0; i < station::kScaleCount; ++i) {
        std::string address;
        for (const char c : saved.addresses[i]) {
            if (c != '\r' && c != '\n' && c != '"' && c != '\'' && c != ' ' && c != '\t') {
                address += c;
            }
        }
        saved.addresses[i] = address.substr(0, 64);
        saved.ports[i] = static_cast<std::int32_t>(size * 7919 + i);
    }
    station::SaveConnectionSettings(saved, file);
    station::ConnectionSettings again;
    station::LoadConnectionSettings(again, file);
    if (again.addresses != saved.addresses || again.ports != saved.ports) {
        std::abort();
    }
    return 0;
}
