#include "common/month.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace station {
namespace {

constexpr int kFirstYear = 1000;
constexpr int kLastYear = 9999;
constexpr std::string_view kFileEnd = ".txt";

}  // namespace

std::optional<Month> Month::Of(int year, int month) {
    if (year < kFirstYear || year > kLastYear || month < 1 || month > 12) {
        return std::nullopt;
    }
    return Month(year, month);
}

std::optional<Month> Month::Read(std::string_view yyyymm) {
    if (yyyymm.size() != 6 ||
        !std::all_of(yyyymm.begin(), yyyymm.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const auto number = [&](std::size_t at, std::size_t length) {
        int value = 0;
        for (const char c : yyyymm.substr(at, length)) {
            value = value * 10 + (c - '0');
        }
        return value;
    };
    return Of(number(0, 4), number(4, 2));
}

std::optional<Month> Month::OfFileName(std::string_view name) {
    if (!name.ends_with(kFileEnd)) {
        return std::nullopt;
    }
    name.remove_suffix(kFileEnd.size());
    return Read(name);
}

std::optional<Month> Month::OfYyyymm(long long yyyymm) {
    if (yyyymm < 0 || yyyymm > kLastYear * 100 + 12) {
        return std::nullopt;
    }
    return Of(static_cast<int>(yyyymm / 100), static_cast<int>(yyyymm % 100));
}

std::string Month::Text() const {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%04d%02d", year_, month_);
    return text.data();
}

std::string Month::FileName() const {
    return Text().append(kFileEnd);
}

Month Month::Previous() const {
    if (month_ > 1) {
        return Month(year_, month_ - 1);
    }
    return year_ > kFirstYear ? Month(year_ - 1, 12) : *this;
}

int Month::Days() const {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year_ % 4 == 0 && year_ % 100 != 0) || year_ % 400 == 0;
    return month_ == 2 && leap ? 29 : kDays[month_ - 1];
}

Month Month::Next() const {
    if (month_ < 12) {
        return Month(year_, month_ + 1);
    }
    return year_ < kLastYear ? Month(year_ + 1, 1) : *this;
}

}  // namespace station
