#pragma once

#include <string>
#include <vector>

#include "common/ini_file.h"

namespace station {

// Section "Podpisy": whether each saved line is signed (register_signer.h) and where the
// station's key is kept. Off unless `sign` is `on`.
struct SigningSettings {
    bool on = false;
    std::string key_file = "dane/klucz.podpisu";
};

struct SigningSettingsResult {
    SigningSettings settings;
    std::vector<std::string> problems;  // each said once in the log, with what was taken instead
};

SigningSettingsResult LoadSigningSettings(const IniFile& file);

}  // namespace station
