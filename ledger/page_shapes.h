#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ledger/ledger_rows.h"
#include "ledger/page_queries.h"

namespace station::ledger {

// The page's answers made from typed rows, with no database and no server: the JSON of its views
// and of its live events, and the rows of its exports. Text that is no UTF-8 is written with
// U+FFFD in JSON; a weight that does not read as a number throws std::invalid_argument.

// {"ROOM": {"online", "scales": {"N": {"connected", "reading", "motion", "range"}}}}: a room
// heard of only through a scale's state is offline.
std::string StationsJson(const std::vector<StationSeen>& stations,
                         const std::vector<ScaleSeen>& scales);

// {"day", "page", "more", "rows", "totals", "hours"}; `rows` as read, one more than a page when
// there are more.
std::string DayViewJson(const DayQuery& query, std::vector<StoredWeighing> rows,
                        const std::vector<ScaleTotal>& totals, const std::vector<HourCount>& hours);

// {"from", "to", "days": [{"station", "day", "count", "sum"}]}
std::string DailyJson(const Day& first, const Day& last, const std::vector<DaySum>& days);

// The live view's events.
std::string StatusEventJson(const StationStatusRow& row);
std::string StateEventJson(const ScaleStateRow& row);

// The CSV for a Polish spreadsheet: UTF-8 with its mark, ';' between fields, a decimal comma.
inline constexpr std::string_view kCsvHeader =
    "\xEF\xBB\xBFid;pokój;waga;czas;odczyt;masa;linia\r\n";
void AppendCsvRow(std::string& out, const StoredWeighing& weighing);
// One object of the JSON export's array, after a comma unless it is the `first`.
void AppendJsonRow(std::string& out, const StoredWeighing& weighing, bool first);

// A CSV field, quoted when it holds a separator, a quote or a line end.
std::string CsvField(std::string text);

}  // namespace station::ledger
