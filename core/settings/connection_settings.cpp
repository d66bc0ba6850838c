#include "core/settings/connection_settings.h"

#include "common/integer_text.h"

namespace station {
namespace {

constexpr const char* kConnectionSection = "Polaczenie";

std::string AddressKey(std::size_t index) {
    return "address" + std::to_string(index + 1);
}
std::string PortKey(std::size_t index) {
    return "port" + std::to_string(index + 1);
}

}  // namespace

void LoadConnectionSettings(ConnectionSettings& settings, const IniFile& file) {
    const ConnectionSettings defaults;
    for (std::size_t i = 0; i < kScaleCount; ++i) {
        settings.addresses[i] =
            file.ReadString(kConnectionSection, AddressKey(i), defaults.addresses[i]);
    }
    for (std::size_t i = 0; i < kScaleCount; ++i) {
        const auto port = ParseInteger(file.ReadString(kConnectionSection, PortKey(i), ""));
        settings.ports[i] = port.value_or(defaults.ports[i]);
    }
}

void SaveConnectionSettings(const ConnectionSettings& settings, IniFile& file) {
    for (std::size_t i = 0; i < kScaleCount; ++i) {
        file.WriteString(kConnectionSection, AddressKey(i), settings.addresses[i]);
    }
    for (std::size_t i = 0; i < kScaleCount; ++i) {
        file.WriteString(kConnectionSection, PortKey(i), std::to_string(settings.ports[i]));
    }
}

}  // namespace station
