#include "core/reading/transmission_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>

#include "base/file_descriptor.h"
#include "common/fd_io.h"
#include "core/files/io_error.h"

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

}  // namespace

void TransmissionLog::LogTransmission(int code, std::string_view text, int scale) {
    const auto time = FormatTime(clock_.Local());
    std::array<char, 16> number{};
    const auto number_end = std::to_chars(number.begin(), number.end(), scale).ptr;
    const std::string_view tag = TagOf(code);
    if (ends_.size() > kCapacity) {
        text_.clear();
        ends_.clear();
        if (view_ != nullptr) {
            view_->Cleared();
        }
    }
    text_.append(time.data(), time.size())
        .append(1, ' ')
        .append(number.data(), number_end)
        .append(1, ' ')
        .append(tag)
        .append(text);
    ends_.push_back(text_.size());
    if (view_ != nullptr) {
        view_->LineAdded(Line(ends_.size() - 1));
    }
}

std::string_view TransmissionLog::Line(std::size_t index) const {
    const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
    return std::string_view(text_).substr(begin, ends_[index] - begin);
}

std::vector<std::string> TransmissionLog::Lines() const {
    std::vector<std::string> lines;
    lines.reserve(ends_.size());
    for (std::size_t i = 0; i < ends_.size(); ++i) {
        lines.emplace_back(Line(i));
    }
    return lines;
}

void TransmissionLog::SaveToFile(const std::string& path) const {
    std::string content;
    content.append(kSaveHeader).append(kLineEnd);
    for (std::size_t i = 0; i < ends_.size(); ++i) {
        content.append(Line(i)).append(kLineEnd);
    }
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!file.IsOpen() || !WriteAll(file.Get(), content) || !file.Close()) {
        throw InOutError::FromErrno(errno, true);
    }
}

}  // namespace station
