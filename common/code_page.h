#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace station {

// The station's text is 8-bit in the East-European code page (windows-1250); these convert
// it for the screen and back.
std::u16string DecodeCp1250(std::string_view bytes);

// The same text in UTF-8, for what leaves the station as JSON.
std::string Cp1250ToUtf8(std::string_view bytes);

// Characters the code page lacks become "?".
std::string EncodeCp1250(std::u16string_view text);

// The bytes a station saved, from the UTF-8 it sent them as: nothing when `text` is not UTF-8 of
// the code page's characters alone, which no station sends.
std::optional<std::string> Utf8ToCp1250(std::string_view text);

}  // namespace station
