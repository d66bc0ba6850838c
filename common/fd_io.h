#pragma once

#include <string_view>

namespace station {

// Writes every byte, retrying short and interrupted writes. False with errno set on failure.
bool WriteAll(int fd, std::string_view bytes);

}  // namespace station
