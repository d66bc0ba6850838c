#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "core/reading/reading.h"
#include "core/register/register_line.h"
#include "core/register/register_reader.h"

namespace station {

// The JSON of a saved weighing, built from its register line and the unit saved with it alone,
// so that the same weighing sent again after a restart reads the same: {"id", "scale",
// "reading", "unit", "time", "line"}. The id is `station` and the line's place in the register;
// "unit" is there only for a unit other than kilograms; "time" is null when the stamp cannot be
// read. Text goes out as UTF-8.
std::string WeighingMessage(const RegisterEntry& entry, const RegisterLineFields& fields,
                            const std::string& station, const std::string& unit = {});

// The JSON of a scale's live state: {"connected", "reading", "unit", "motion", "range",
// "time"}; "reading" is the text shown, "unit" its unit where the scale writes one other than
// kilograms. "motion" is null where the format does not say; "range" is "ok" for a weight,
// "over" and "under" out of range, and null otherwise.
std::string ScaleStateMessage(bool connected, const Reading& reading, std::time_t time);

// ISO 8601 local time with the offset from UTC, "2026-12-08T09:15:02+01:00".
std::string IsoLocalTime(std::time_t time);

}  // namespace station
