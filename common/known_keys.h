#pragma once

#include <set>
#include <string>
#include <utility>

#include "common/ini_file.h"

namespace station {

// An initialisation file that remembers every section and key its readers ask for, so that
// whatever else the file holds can be named as unknown: a mistyped key would otherwise mean
// its default without a word.
class KeyRecordingIniFile final : public IniFile {
public:
    using IniFile::IniFile;

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view fallback) const override;

    // "FILE:LINE: unknown section [S]" or "FILE:LINE: unknown key K in section [S]", with the
    // nearest asked-for name suggested; empty when every section and key of the file was asked
    // for (names compared without regard to case, as they are read).
    std::string UnknownEntry() const;

private:
    mutable std::set<std::pair<std::string, std::string>> asked_;  // lower-case
};

}  // namespace station
