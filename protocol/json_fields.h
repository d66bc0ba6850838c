#pragma once

// The readers' common steps over nlohmann's JSON; seen only by the readers in this folder.

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <variant>

#include "protocol/message_problem.h"

namespace station::protocol {

// The payload as a JSON object, or why it is none.
std::variant<nlohmann::json, MessageProblem> JsonObject(std::string_view payload);

// A field's text of at most `longest` bytes; a missing field, another type, a longer text or a
// NUL character (which no register line holds and no database keeps in a text) is a problem.
std::variant<std::string, MessageProblem> TextField(const nlohmann::json& message,
                                                    const char* field, std::size_t longest);

// "unit" is written only where it says more than the kilograms a message without one means, and
// read as kilograms where it is absent.
void WriteUnit(nlohmann::ordered_json& message, const std::string& unit);
std::variant<std::string, MessageProblem> ReadUnit(const nlohmann::json& message);

}  // namespace station::protocol
