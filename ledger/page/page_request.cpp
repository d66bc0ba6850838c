#include "ledger/page/page_request.h"

#include <array>
#include <cstdio>
#include <functional>
#include <map>

#include "common/ascii.h"
#include "common/month.h"
#include "protocol/utf8_text.h"

namespace station::ledger {
namespace {

constexpr std::size_t kLongestStation = 200;
constexpr int kLastPage = 10000;

std::optional<int> Digits(const std::string& text) {
    if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), IsDigit)) {
        return std::nullopt;
    }
    return std::stoi(text);
}

std::string Value(const Parameters& parameters, const char* name) {
    const auto found = parameters.find(name);
    return found == parameters.end() ? "" : found->second;
}

}  // namespace

std::string Day::Text() const {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%04d-%02d-%02d", year, month, day);
    return text.data();
}

// Howard Hinnant's days-from-civil.
long Day::Serial() const {
    const int y = month <= 2 ? year - 1 : year;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long year_of_era = y - era * 400;
    const long day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

Day Day::FromSerial(long serial) {
    serial += 719468;
    const long era = (serial >= 0 ? serial : serial - 146096) / 146097;
    const long day_of_era = serial - era * 146097;
    const long year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const long day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const long shifted_month = (5 * day_of_year + 2) / 153;
    const int day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
    const int month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
    return {static_cast<int>(year_of_era + era * 400) + (month <= 2 ? 1 : 0), month, day};
}

std::optional<Day> ParseDay(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    const auto year = Digits(text.substr(0, 4));
    const auto month = Digits(text.substr(5, 2));
    const auto day = Digits(text.substr(8, 2));
    const auto calendar = year && month ? Month::Of(*year, *month) : std::nullopt;
    if (!calendar || !day || *day < 1 || *day > calendar->Days()) {
        return std::nullopt;
    }
    return Day{*year, *month, *day};
}

namespace {

// The room ("station") and the scale chosen into `station` and `scale`; a problem, in Polish, or
// nothing.
std::optional<std::string> ReadRoomAndScale(const Parameters& parameters, std::string& station,
                                            int& scale) {
    station = Value(parameters, "station");
    // Not UTF-8, it is no room's name, and a database that keeps text as UTF-8 refuses it.
    bool text = true;
    for (std::size_t at = 0; text && at < station.size();) {
        const std::size_t length = protocol::Utf8Length(std::string_view(station).substr(at));
        text = length != 0 && static_cast<unsigned char>(station[at]) >= 0x20;
        at += length;
    }
    if (station.size() > kLongestStation || !text) {
        return "Zła nazwa stanowiska";
    }
    if (const std::string chosen = Value(parameters, "scale"); !chosen.empty()) {
        const auto number = Digits(chosen);
        if (!number || *number < 1 || *number > 4) {
            return "Zły numer wagi (1-4)";
        }
        scale = *number;
    }
    return std::nullopt;
}

}  // namespace

std::variant<DayQuery, std::string> ReadDayQuery(const Parameters& parameters, const Day& today) {
    DayQuery query;
    query.day = today;
    if (const std::string day = Value(parameters, "day"); !day.empty()) {
        const auto parsed = ParseDay(day);
        if (!parsed) {
            return "Zła data (oczekiwano RRRR-MM-DD): " + day.substr(0, 40);
        }
        query.day = *parsed;
    }
    if (auto problem = ReadRoomAndScale(parameters, query.station, query.scale)) {
        return std::move(*problem);
    }
    static const std::map<std::string, DayOrder, std::less<>> kOrders{
        {"time", DayOrder::kTime},
        {"station", DayOrder::kRoom},
        {"scale", DayOrder::kScale},
        {"weight", DayOrder::kWeight}};
    if (const std::string sort = Value(parameters, "sort"); !sort.empty()) {
        const auto order = kOrders.find(sort);
        if (order == kOrders.end()) {
            return std::string("Zły porządek (time, station, scale, weight)");
        }
        query.order = order->second;
    }
    if (const std::string order = Value(parameters, "order"); !order.empty()) {
        if (order != "asc" && order != "desc") {
            return std::string("Zły kierunek porządku (asc, desc)");
        }
        query.ascending = order == "asc";
    }
    if (const std::string page = Value(parameters, "page"); !page.empty()) {
        const auto number = Digits(page);
        if (!number || *number > kLastPage) {
            return std::string("Zły numer strony");
        }
        query.page = *number;
    }
    return query;
}

std::variant<RangeQuery, std::string> ReadRangeQuery(const Parameters& parameters) {
    const auto from = ParseDay(Value(parameters, "from"));
    const auto to = ParseDay(Value(parameters, "to"));
    if (!from || !to) {
        return std::string("Zła data początku lub końca zakresu (oczekiwano RRRR-MM-DD)");
    }
    if (*to < *from) {
        return std::string("Koniec zakresu przed jego początkiem");
    }
    if (to->Serial() - from->Serial() + 1 > kLongestRangeDays) {
        return std::string("Zakres dłuższy niż rok");
    }
    RangeQuery range{*from, *to, {}, 0};
    if (auto problem = ReadRoomAndScale(parameters, range.station, range.scale)) {
        return std::move(*problem);
    }
    return range;
}

}  // namespace station::ledger
