#pragma once

#include <map>
#include <optional>
#include <string>
#include <variant>

namespace station::ledger {

// The plant page's parameters, checked before any query: a day, a room, a scale, a page of rows,
// a range of days. A value that is not one says so in Polish, for a 400 answer.
struct Day {
    int year = 0;
    int month = 0;
    int day = 0;

    // "yyyy-mm-dd"
    std::string Text() const;
    // Days since 1970-01-01.
    long Serial() const;
    static Day FromSerial(long serial);
    // The day `days` after this one (before it when negative).
    Day Plus(long days) const { return FromSerial(Serial() + days); }
    auto operator<=>(const Day&) const = default;
};

// The day's table ordered by ("sort") time, room, scale or weight, newest or largest first
// unless "order" is "asc"; the newest first among equals.
enum class DayOrder { kTime, kRoom, kScale, kWeight };

struct DayQuery {
    Day day;
    std::string station;  // empty: every room
    int scale = 0;        // 0: every scale
    int page = 0;         // of kPageRows rows
    DayOrder order = DayOrder::kTime;
    bool ascending = false;
};

// A range of days, of one room and one scale when chosen.
struct RangeQuery {
    Day from;
    Day to;               // included
    std::string station;  // empty: every room
    int scale = 0;        // 0: every scale
    bool seals = false;   // the exports hold each weighing's seal: the ledger verifies them
};

inline constexpr int kPageRows = 1000;
inline constexpr long kLongestRangeDays = 366;

using Parameters = std::map<std::string, std::string>;

// A problem, in Polish, or the query.
std::variant<DayQuery, std::string> ReadDayQuery(const Parameters& parameters, const Day& today);
std::variant<RangeQuery, std::string> ReadRangeQuery(const Parameters& parameters);

// "yyyy-mm-dd" of a real calendar day, or nothing.
std::optional<Day> ParseDay(const std::string& text);

}  // namespace station::ledger
