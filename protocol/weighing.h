#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "common/weighing_chain.h"
#include "protocol/message_problem.h"
#include "protocol/weighing_id.h"

namespace station::protocol {

// A saved weighing as it goes out on "wagaN/weighing" (QoS 1): {"id", "scale", "reading",
// "unit", "time", "line", "after", "next", "previous", "link", "signature", "key"}, texts in
// UTF-8. "unit" is written only for a unit other than kilograms, which a message without one
// means; "time" is null when the line's stamp cannot be read; "after" ("yyyymm/OFFSET") and "next"
// (a number) only where known; the seal's four (LineSeal, lower-case hex) only from a station that
// signs its register, all or none, and after a key change "key_word" with them.
struct Weighing {
    WeighingId id;
    std::int64_t scale = 0;
    std::string reading;
    std::string unit = "kg";
    std::optional<std::string> time;  // ISO 8601
    std::string line;                 // the register line as saved
    // For the collector to tell a gap in what it holds from lines that are no weighings: the
    // place where the station's previous weighing line ended (every line between that place and
    // this one is no weighing), and the offset where this line ends. Absent from older stations.
    std::optional<LinePlace> after;
    std::optional<std::uint64_t> next;
    std::optional<LineSeal> seal;
};

// Every text bounded when read, far above anything a station sends: before it reaches an index
// (PostgreSQL keeps at most 2,704 bytes of a key) or a page.
inline constexpr std::size_t kLongestId = 300;
inline constexpr std::size_t kLongestReading = 100;
inline constexpr std::size_t kLongestLine = 1000;
inline constexpr std::size_t kLongestTime = 40;

std::string WriteWeighing(const Weighing& weighing);

// Whether the places a weighing says of its line can be: the line before it ends at or before its
// start, and it ends after its start, within the longest line and its CR LF, at an offset a signed
// 64-bit column holds. A weighing that says neither (an older station's) has nothing to doubt.
bool PlacesCanBe(const Weighing& weighing);

// Whether the scale is the topic's is the reader's to judge.
std::variant<Weighing, MessageProblem> ReadWeighing(std::string_view payload);

}  // namespace station::protocol
