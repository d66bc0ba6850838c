#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <string_view>

namespace station {

enum class ReadResult { kRead, kMissing, kFailed };

// Reads the whole file into `content`.
ReadResult ReadWhole(const std::string& path, std::string& content);

// Writes `content` to a new file beside `target`, flushes it and renames it over `target`, so
// that the file on disk is always the old or the new complete version; the mode and owner of
// `existing`, the file it replaces, are carried over. False with errno set on failure.
bool ReplaceAtomically(const std::string& target, std::string_view content,
                       const std::optional<struct stat>& existing);

}  // namespace station
