#include "core/register/register_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "base/file_descriptor.h"
#include "common/month.h"

namespace station {
namespace {

// Every entry with a month file's name, whatever it is: one that is not a readable file must
// stop the reader, not vanish from the queue.
std::vector<std::string> MonthFiles(const std::string& directory) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        std::string name = entry.path().filename().string();
        if (Month::OfFileName(name)) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string CannotRead(const std::string& directory, const std::string& name, int error) {
    return "cannot read " + directory + "/" + name + ": " +
           std::error_code(error, std::generic_category()).message();
}

// Hands `visit` the whole lines of the month files after `from`, oldest first, until it returns
// false. Reads only as far as it needs: a backlog is worked off a few lines at a time. Returns
// the problem of a file it could not read, where it stopped.
template <typename Visit>
std::string VisitLinesAfter(const std::string& directory, const RegisterPosition& from,
                            Visit visit) {
    for (const std::string& name : MonthFiles(directory)) {
        const std::optional<Month> month = Month::OfFileName(name);
        if (month < from.month) {
            continue;
        }
        std::string path = directory;
        path.append(1, '/').append(name);
        const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (!file.IsOpen()) {
            return CannotRead(directory, name, errno);
        }
        std::uint64_t offset = month == from.month ? from.offset : 0;
        std::string pending;  // bytes read after the last whole line
        std::array<char, 65536> chunk{};
        for (;;) {
            const ssize_t got = ::pread(file.Get(), chunk.data(), chunk.size(),
                                        static_cast<off_t>(offset + pending.size()));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                return CannotRead(directory, name, errno);
            }
            if (got == 0) {
                break;
            }
            pending.append(chunk.data(), static_cast<std::size_t>(got));
            std::size_t at = 0;
            for (std::size_t end; (end = pending.find(kRegisterLineEnd, at)) != std::string::npos;
                 at = end + kRegisterLineEnd.size()) {
                if (!visit(RegisterPosition{month, offset + at},
                           RegisterPosition{month, offset + end + kRegisterLineEnd.size()},
                           std::string_view(pending).substr(at, end - at))) {
                    return {};
                }
            }
            offset += at;
            pending.erase(0, at);
        }
    }
    return {};
}

}  // namespace

RegisterRead ReadRegisterAfter(const std::string& directory, const RegisterPosition& from,
                               std::size_t limit) {
    RegisterRead read;
    if (limit > 0) {
        read.problem = VisitLinesAfter(
            directory, from,
            [&](RegisterPosition start, RegisterPosition end, std::string_view line) {
                read.entries.push_back({start, end, std::string(line)});
                return read.entries.size() < limit;
            });
    }
    return read;
}

RegisterPosition LineStartAtOrBefore(const std::string& directory, const RegisterPosition& place) {
    RegisterPosition nearest{place.month, 0};
    VisitLinesAfter(
        directory, nearest,
        [&](const RegisterPosition& start, const RegisterPosition& end, std::string_view) {
            if (start.month != place.month || start.offset > place.offset) {
                return false;
            }
            nearest = end.offset <= place.offset ? end : start;
            return end.offset <= place.offset;
        });
    return nearest;
}

RegisterPosition RegisterEnd(const std::string& directory) {
    const std::vector<std::string> names = MonthFiles(directory);
    if (names.empty()) {
        return {};
    }
    RegisterPosition end{Month::OfFileName(names.back()), 0};
    VisitLinesAfter(
        directory, end,
        [&](const RegisterPosition&, const RegisterPosition& line_end, std::string_view) {
            end = line_end;
            return true;
        });
    return end;
}

std::size_t RegisterLineCount::After(const RegisterPosition& from) {
    if (scanned_ < from) {
        scanned_ = from;  // what lies before was never asked about
        ends_.clear();
        current_ = false;
    }
    if (!current_) {
        current_ = VisitLinesAfter(
                       directory_, scanned_,
                       [&](const RegisterPosition&, const RegisterPosition& end, std::string_view) {
                           ends_.push_back(end);
                           scanned_ = end;
                           return true;
                       })
                       .empty();
    }
    while (!ends_.empty() && ends_.front() <= from) {
        ends_.pop_front();
    }
    return ends_.size();
}

}  // namespace station
