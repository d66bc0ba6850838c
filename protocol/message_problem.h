#pragma once

#include <string>

namespace station::protocol {

// Why bytes from the broker are no message of a station's: what the reader of each message says
// instead of a message, never an exception, whatever the bytes.
enum class ProblemKind {
    kTopic,  // no station's topic
    kNotJson,
    kMissingField,
    kWrongType,
    kBadValue,  // the right type, a value no station sends
};

struct MessageProblem {
    ProblemKind kind;
    std::string detail;
};

}  // namespace station::protocol
