#include "core/transmission_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>

#include "core/io_error.h"

namespace station {
namespace {

constexpr std::string_view kSaveHeader = "------ Waga ------ ";
constexpr std::string_view kLineEnd = "\r\n";

std::string_view TagOf(int code) {
    switch (code) {
        case log_code::kSent:
            return " >> ";
        case log_code::kReceived:
            return " << ";
        case log_code::kEvent:
            return " @@ ";
        case log_code::kFault:
            return " !! ";
        case log_code::kQuestion:
            return " ?? ";
        default:
            return {};
    }
}

char Digit(int value) {
    return static_cast<char>('0' + value);
}

// "hh-mm-ss.zzz"
std::array<char, 12> FormatTime(const LocalTime& time) {
    return {Digit(time.hour / 10),
            Digit(time.hour % 10),
            '-',
            Digit(time.minute / 10),
            Digit(time.minute % 10),
            '-',
            Digit(time.second / 10),
            Digit(time.second % 10),
            '.',
            Digit(time.millisecond / 100),
            Digit(time.millisecond / 10 % 10),
            Digit(time.millisecond % 10)};
}

void WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw InOutError::FromErrno(errno, true);
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

}  // namespace

void TransmissionLog::LogTransmission(int code, std::string_view text, int scale) {
    const auto time = FormatTime(clock_.Now());
    std::array<char, 16> number{};
    const auto numberEnd = std::to_chars(number.begin(), number.end(), scale).ptr;
    const std::string_view tag = TagOf(code);
    std::string line;
    line.reserve(time.size() + 16 + 2 + tag.size() + text.size());
    line.append(time.data(), time.size())
        .append(1, ' ')
        .append(number.data(), numberEnd)
        .append(1, ' ')
        .append(tag)
        .append(text);
    if (lines_.size() > kCapacity) {
        lines_.clear();
        if (view_ != nullptr) {
            view_->Cleared();
        }
    }
    lines_.push_back(std::move(line));
    if (view_ != nullptr) {
        view_->LineAdded(lines_.back());
    }
}

void TransmissionLog::SaveToFile(const std::string& path) const {
    std::string content;
    content.append(kSaveHeader).append(kLineEnd);
    for (const std::string& line : lines_) {
        content.append(line).append(kLineEnd);
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        throw InOutError::FromErrno(errno, true);
    }
    try {
        WriteAll(fd, content);
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (::close(fd) != 0) {
        throw InOutError::FromErrno(errno, true);
    }
}

}  // namespace station
