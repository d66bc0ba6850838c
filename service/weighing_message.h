#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "core/reading/reading.h"
#include "core/register/evidence_lookup.h"
#include "core/register/register_line.h"
#include "core/register/register_reader.h"

namespace station {

// A saved weighing's message, built from its register line and the unit saved with it alone,
// so that the same weighing sent again after a restart has the same id, time and line: its id is
// `station` and the line's place in the register, its time the line's stamp (null when the stamp
// cannot be read); the register's text goes out as UTF-8. `after`, when given, is where the last
// weighing line before it ended, as far as the sender knows (the place its reading started, at
// worst: never a place before a weighing line it did not send); the start of the register (an
// empty file name) goes out as the first month there can be. `evidence`, when the line is signed,
// gives its seal. The message itself is `protocol::Weighing`'s.
std::string WeighingMessage(const RegisterEntry& entry, const RegisterLineFields& fields,
                            const std::string& station, const std::string& unit = {},
                            const std::optional<RegisterPosition>& after = std::nullopt,
                            const std::optional<LineEvidence>& evidence = std::nullopt);

// A scale's live state as the display shows it, at `time`: `protocol::ScaleState`'s message,
// "range" said for a weight and the readings out of range.
std::string ScaleStateMessage(bool connected, const Reading& reading, std::time_t time);

}  // namespace station
