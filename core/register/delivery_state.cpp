#include "core/register/delivery_state.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <system_error>

#include "base/file_descriptor.h"
#include "common/month.h"
#include "common/whole_file.h"
#include "core/files/io_error.h"
#include "core/register/register_line.h"

namespace station {
namespace {

constexpr std::size_t kMonthFileNameLength = 10;  // "yyyymm.txt"

DeliveryState Damaged(RegisterPosition restart, std::string damage) {
    return {DeliveryState::Kind::kDamaged, restart, std::move(damage)};
}

// What is wrong with `place` as a place the reader could have handed out, or "" when nothing:
// it must be the start of its file or lie right after a CR LF. A month file that is gone (moved
// away by a person) or cannot be read says nothing against it; the reader meets the latter.
std::string PlaceProblem(const std::string& directory, const RegisterPosition& place) {
    if (!place.month) {
        return place.offset == 0 ? "" : "an offset without a month file";
    }
    if (place.offset == 0) {
        return {};
    }
    const FileDescriptor file(
        ::open((directory + "/" + place.FileName()).c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.IsOpen()) {
        return {};
    }
    std::string inside = "an offset inside a line of " + place.FileName();
    if (place.offset < 2) {
        return inside;
    }
    std::array<char, 2> before{};
    const ssize_t got =
        ::pread(file.Get(), before.data(), before.size(), static_cast<off_t>(place.offset - 2));
    if (got < 0) {
        return {};
    }
    if (got != 2) {
        return "an offset beyond the end of " + place.FileName();
    }
    return before[0] == '\r' && before[1] == '\n' ? "" : inside;
}

}  // namespace

DeliveryState LoadDeliveryState(const std::string& path, const std::string& directory,
                                const LocalTime& now) {
    std::string content;
    switch (ReadWhole(path, content)) {
        case ReadResult::kMissing:
            return {};
        case ReadResult::kFailed: {
            const int error = errno;
            return Damaged(
                {Month::OfFileName(PreviousMonthFileName(now)), 0},
                "cannot be read: " + std::error_code(error, std::generic_category()).message());
        }
        case ReadResult::kRead:
            break;
    }
    const std::optional<Month> named = Month::OfFileName(content.substr(0, kMonthFileNameLength));
    const RegisterPosition restart{named ? named : Month::OfFileName(PreviousMonthFileName(now)),
                                   0};
    if (content.ends_with('\n')) {
        content.pop_back();
    }
    const std::size_t blank = content.find(' ');
    if (blank == std::string::npos) {
        return Damaged(restart, "no offset");
    }
    const std::string file_name = content.substr(0, blank);
    RegisterPosition place{Month::OfFileName(file_name), 0};
    const char* digits_end = content.data() + content.size();
    const auto [end, error] = std::from_chars(content.data() + blank + 1, digits_end, place.offset);
    if (error != std::errc() || end != digits_end || (!file_name.empty() && !place.month)) {
        return Damaged(restart, "not a place in the register");
    }
    if (std::string problem = PlaceProblem(directory, place); !problem.empty()) {
        return Damaged(restart, std::move(problem));
    }
    return {DeliveryState::Kind::kRead, place, {}};
}

void StoreDeliveryState(const std::string& path, const RegisterPosition& place) {
    const std::string content = place.FileName() + " " + std::to_string(place.offset) + "\n";
    if (!ReplaceAtomically(path, content, std::nullopt)) {
        throw InOutError::FromErrno(errno, true);
    }
}

std::string DamagedStatePath(const std::string& path) {
    return path + ".uszkodzony";
}

}  // namespace station
