#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ledger/page/page_queries.h"
#include "ledger/store/ledger_health.h"
#include "ledger/store/ledger_rows.h"
#include "protocol/iso_time.h"

namespace station::ledger {

// The page's answers made from typed rows, with no database and no server: the JSON of its views
// and of its live events, and the rows of its exports. Text that is no UTF-8 is written with
// U+FFFD in JSON; a weight that does not read as a number throws std::invalid_argument.

// {"ROOM": {"online", "since", "scales": {"N": {"connected", "reading", "motion", "range",
// "unit"}}, "seal": {"key", "pinned", "break"}}}: `since` when the ledger heard the room come or
// go; a room heard of only through a scale's state is offline, since no time; "seal" only with
// seals verified.
std::string StationsJson(const std::vector<StationSeen>& stations,
                         const std::vector<ScaleSeen>& scales);
// Adds what the ledger heard of each room after what the database holds, which StationsJson lets
// it override: the status of each room whose status the ledger knows (the room's disputed
// weighings kept) and each scale's state heard.
void AddLiveRooms(const LedgerHealth& health, std::vector<StationSeen>& stations,
                  std::vector<ScaleSeen>& scales);

// {"day", "page", "more", "rows", "totals", "hours"}; `rows` as read, one more than a page when
// there are more.
std::string DayViewJson(const DayQuery& query, std::vector<StoredWeighing> rows,
                        const std::vector<ScaleTotal>& totals, const std::vector<HourCount>& hours);

// {"from", "to", "days": [{"station", "day", "unit", "count", "sum"}]}
std::string DailyJson(const RangeQuery& range, const std::vector<DaySum>& days);

// {"from", "to", "more", "totals": [{"station", "scale", "unit", "count", "sum"}], "rows":
// [{"day", "station", "scale", "unit", "count", "sum"}]}; `rows` as read, one more than `most`
// when there are more; `totals` over the whole range.
std::string RangeJson(const RangeQuery& range, std::vector<RangeSum> rows,
                      const std::vector<ScaleTotal>& totals, std::size_t most);

// The live view's events.
std::string StatusEventJson(const StationStatusRow& row);
// {"kind": "ledger", "database": bool, "broker": bool, "halls_cut": [{"hall", "since"}]}: what
// the ledger can reach.
std::string LedgerEventJson(const HealthBoard::Reach& reach);
std::string StateEventJson(const ScaleStateRow& row);

// The date ("2026-12-09") and the time of day ("08:00:00") of a stored time, on the station's
// clock (a time of another shape, stored before times were checked at the door, has no fields).
std::string DateText(const protocol::IsoFields& time);
std::string TimeText(const protocol::IsoFields& time);

// A reading that is a plain number ("-12.5", "12,5"), for the spreadsheets' number; nothing for
// any other ("OL", "1 000", "#err").
std::optional<double> ReadingNumber(std::string_view reading);

// The CSV for a Polish spreadsheet: UTF-8 with its mark, ';' between fields; the date and the
// time of day (the station's clock) in columns of their own, as ISO 8601 writes them, which
// spreadsheets read as a date and a time in any language; the reading and the weight numbers with
// a decimal comma where they are numbers, the weight's unit beside it (none where there is no
// weight: "#err" weighs nothing in any unit). With `seals`, each weighing's seal last.
std::string CsvHeader(bool seals);
void AppendCsvRow(std::string& out, const StoredWeighing& weighing, bool seals);
// One object of the JSON export's array, after a comma unless it is the `first`.
void AppendJsonRow(std::string& out, const StoredWeighing& weighing, bool first, bool seals);

// Appends a CSV text field, never taken for a formula: one that begins with '=', '+', '-', '@', a
// tab or a carriage return gets a leading apostrophe, which spreadsheets show as text; quoted when
// it holds a separator, a quote, a tab or a line end.
void AppendCsvField(std::string& out, std::string_view text);

}  // namespace station::ledger
