#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace station::protocol {

// The length of the valid UTF-8 sequence at the start of `text`, or 0.
std::size_t Utf8Length(std::string_view text);

// The bytes as text that any database, log or page takes: valid UTF-8 but for control
// characters is kept, every other byte is written "\xNN"; at most `limit` bytes of the input
// are shown.
std::string ShownBytes(std::string_view bytes, std::size_t limit = 2048);

}  // namespace station::protocol
