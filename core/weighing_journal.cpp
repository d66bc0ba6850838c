#include "core/weighing_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <filesystem>

#include "core/file_descriptor.h"
#include "core/io_error.h"
#include "core/whole_file.h"

namespace station {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

// "yyyymm.txt", as the register names its month files.
bool IsMonthFileName(const std::string& name) {
    constexpr std::size_t kDigits = 6;
    return name.size() == kDigits + 4 && name.ends_with(".txt") &&
           std::all_of(name.begin(), name.begin() + kDigits,
                       [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<std::string> MonthFiles(const std::string& directory) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        std::string name = entry.path().filename().string();
        if (IsMonthFileName(name) && entry.is_regular_file(error)) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string PathOf(const std::string& directory, const std::string& name) {
    return directory + "/" + name;
}

// Appends the complete lines of file `name` from `offset` on to `entries`, up to `limit` in all.
// Reads only as far as it needs: a backlog is worked off a few lines at a time.
void ReadLines(const std::string& directory, const std::string& name, std::uint64_t offset,
               std::size_t limit, std::vector<RegisterEntry>& entries) {
    const FileDescriptor file(::open(PathOf(directory, name).c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.IsOpen()) {
        return;
    }
    std::string pending;  // bytes read after the last complete line
    std::array<char, 65536> chunk{};
    while (entries.size() < limit) {
        const ssize_t got = ::pread(file.Get(), chunk.data(), chunk.size(),
                                    static_cast<off_t>(offset + pending.size()));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return;
        }
        pending.append(chunk.data(), static_cast<std::size_t>(got));
        std::size_t at = 0;
        for (std::size_t end;
             entries.size() < limit && (end = pending.find(kLineEnd, at)) != std::string::npos;
             at = end + kLineEnd.size()) {
            entries.push_back({{name, offset + at},
                               {name, offset + end + kLineEnd.size()},
                               pending.substr(at, end - at)});
        }
        offset += at;
        pending.erase(0, at);
    }
}

}  // namespace

std::vector<RegisterEntry> ReadRegisterAfter(const std::string& directory,
                                             const RegisterPosition& from, std::size_t limit) {
    std::vector<RegisterEntry> entries;
    for (const std::string& name : MonthFiles(directory)) {
        if (name >= from.file_name && entries.size() < limit) {
            ReadLines(directory, name, name == from.file_name ? from.offset : 0, limit, entries);
        }
    }
    return entries;
}

RegisterPosition RegisterEnd(const std::string& directory) {
    const std::vector<std::string> names = MonthFiles(directory);
    if (names.empty()) {
        return {};
    }
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(PathOf(directory, names.back()), error);
    return {names.back(), error ? 0 : size};
}

std::optional<RegisterPosition> LoadRegisterPosition(const std::string& path) {
    std::string content;
    if (ReadWhole(path, content) != ReadResult::kRead) {
        return std::nullopt;
    }
    // "yyyymm.txt offset" and a line feed.
    const std::size_t blank = content.find(' ');
    if (blank == std::string::npos) {
        return std::nullopt;
    }
    RegisterPosition position{content.substr(0, blank), 0};
    const char* digits = content.data() + blank + 1;
    const auto [end, error] =
        std::from_chars(digits, content.data() + content.size(), position.offset);
    if (error != std::errc() ||
        (!position.file_name.empty() && !IsMonthFileName(position.file_name))) {
        return std::nullopt;
    }
    return position;
}

void StoreRegisterPosition(const std::string& path, const RegisterPosition& position) {
    const std::string content = position.file_name + " " + std::to_string(position.offset) + "\n";
    if (!ReplaceAtomically(path, content, std::nullopt)) {
        throw InOutError::FromErrno(errno, true);
    }
}

}  // namespace station
