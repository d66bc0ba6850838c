#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace station {

// A calendar month of the years 1000 to 9999, as the register names its files ("202612.txt")
// and the messages name it ("202612": a weighing's id, a replay request's start).
class Month {
public:
    // Nothing unless `year` and `month` name one.
    static std::optional<Month> Of(int year, int month);
    // "yyyymm", exactly six digits.
    static std::optional<Month> Read(std::string_view yyyymm);
    // "yyyymm.txt".
    static std::optional<Month> OfFileName(std::string_view name);
    // yyyymm as a number, as databases keep it.
    static std::optional<Month> OfYyyymm(long long yyyymm);

    int Year() const { return year_; }
    int Number() const { return month_; }  // 1 to 12
    int Yyyymm() const { return year_ * 100 + month_; }
    std::string Text() const;      // "yyyymm"
    std::string FileName() const;  // "yyyymm.txt"
    int Days() const;              // 28 to 31
    // The months beside it; a month at the end of the years stays where it is.
    Month Previous() const;
    Month Next() const;

    auto operator<=>(const Month&) const = default;

private:
    Month(int year, int month) : year_(year), month_(month) {}

    int year_;
    int month_;
};

}  // namespace station
