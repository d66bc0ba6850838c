#pragma once

#include <ctime>
#include <string>

#include "core/reading/reading.h"
#include "core/register/register_line.h"
#include "core/register/register_reader.h"

namespace station {

// A saved weighing's message, built from its register line and the unit saved with it alone,
// so that the same weighing sent again after a restart reads the same: its id is `station` and
// the line's place in the register, its time the line's stamp (null when the stamp cannot be
// read); the register's text goes out as UTF-8. The message itself is `protocol::Weighing`'s.
std::string WeighingMessage(const RegisterEntry& entry, const RegisterLineFields& fields,
                            const std::string& station, const std::string& unit = {});

// A scale's live state as the display shows it, at `time`: `protocol::ScaleState`'s message,
// "range" said for a weight and the readings out of range.
std::string ScaleStateMessage(bool connected, const Reading& reading, std::time_t time);

}  // namespace station
