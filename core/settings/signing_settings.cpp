#include "core/settings/signing_settings.h"

#include "common/ascii.h"

namespace station {

SigningSettingsResult LoadSigningSettings(const IniFile& file) {
    constexpr const char* kSection = "Podpisy";
    SigningSettingsResult result;
    const std::string sign = file.ReadString(kSection, "sign", "");
    result.settings.on = EqualIgnoringCase(sign, "on");
    if (!sign.empty() && !result.settings.on && !EqualIgnoringCase(sign, "off")) {
        result.problems.push_back(std::string(kSection) + ": sign: neither on nor off: " + sign +
                                  "; off");
    }
    const std::string key_file = file.ReadString(kSection, "key", "");
    if (!key_file.empty()) {
        result.settings.key_file = key_file;
    }
    return result;
}

}  // namespace station
