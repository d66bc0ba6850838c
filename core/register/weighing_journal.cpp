#include "core/register/weighing_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <filesystem>

#include "base/file_descriptor.h"
#include "core/files/io_error.h"
#include "core/files/whole_file.h"

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

// Hands `visit` the complete lines of the month files after `from`, oldest first, until it
// returns false. Reads only as far as it needs: a backlog is worked off a few lines at a time.
template <typename Visit>
void VisitLinesAfter(const std::string& directory, const RegisterPosition& from, Visit visit) {
    for (const std::string& name : MonthFiles(directory)) {
        if (name < from.file_name) {
            continue;
        }
        const FileDescriptor file(::open(PathOf(directory, name).c_str(), O_RDONLY | O_CLOEXEC));
        if (!file.IsOpen()) {
            continue;
        }
        std::uint64_t offset = name == from.file_name ? from.offset : 0;
        std::string pending;  // bytes read after the last complete line
        std::array<char, 65536> chunk{};
        for (;;) {
            const ssize_t got = ::pread(file.Get(), chunk.data(), chunk.size(),
                                        static_cast<off_t>(offset + pending.size()));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                break;
            }
            pending.append(chunk.data(), static_cast<std::size_t>(got));
            std::size_t at = 0;
            for (std::size_t end; (end = pending.find(kLineEnd, at)) != std::string::npos;
                 at = end + kLineEnd.size()) {
                if (!visit(RegisterPosition{name, offset + at},
                           RegisterPosition{name, offset + end + kLineEnd.size()},
                           std::string_view(pending).substr(at, end - at))) {
                    return;
                }
            }
            offset += at;
            pending.erase(0, at);
        }
    }
}

}  // namespace

std::vector<RegisterEntry> ReadRegisterAfter(const std::string& directory,
                                             const RegisterPosition& from, std::size_t limit) {
    std::vector<RegisterEntry> entries;
    if (limit > 0) {
        VisitLinesAfter(
            directory, from,
            [&](RegisterPosition start, RegisterPosition end, std::string_view line) {
                entries.push_back({std::move(start), std::move(end), std::string(line)});
                return entries.size() < limit;
            });
    }
    return entries;
}

std::size_t CountRegisterAfter(const std::string& directory, const RegisterPosition& from) {
    std::size_t count = 0;
    VisitLinesAfter(directory, from,
                    [&](const RegisterPosition&, const RegisterPosition&, std::string_view) {
                        return ++count > 0;
                    });
    return count;
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
