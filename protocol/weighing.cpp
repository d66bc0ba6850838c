#include "protocol/weighing.h"

#include <limits>
#include <tuple>

#include "protocol/iso_time.h"
#include "protocol/json_fields.h"

namespace station::protocol {
namespace {

// All four or none, each lower-case hex of its exact length.
std::variant<std::optional<LineSeal>, MessageProblem> ReadSeal(const nlohmann::json& message) {
    const char* const fields[] = {"previous", "link", "signature", "key"};
    std::size_t present = 0;
    for (const char* field : fields) {
        const auto found = message.find(field);
        if (found != message.end()) {
            if (!found->is_string()) {
                return MessageProblem{ProblemKind::kWrongType, std::string(field) + " is no text"};
            }
            ++present;
        }
    }
    if (present == 0) {
        return std::nullopt;
    }
    if (present != std::size(fields)) {
        return MessageProblem{ProblemKind::kMissingField,
                              "previous, link, signature and key: all or none"};
    }
    const auto text = [&](const char* field) { return message[field].get<std::string>(); };
    const auto previous = FromHex<32>(text("previous"));
    const auto link = FromHex<32>(text("link"));
    const auto signature = FromHex<64>(text("signature"));
    const auto key = FromHex<32>(text("key"));
    if (!previous || !link || !signature || !key) {
        return MessageProblem{
            ProblemKind::kBadValue,
            "previous, link, signature or key is not lower-case hex of its length"};
    }
    LineSeal seal{*previous, *link, *signature, *key};
    if (const auto word = message.find("key_word"); word != message.end()) {
        seal.key_word = word->is_string() ? FromHex<64>(word->get<std::string>()) : std::nullopt;
        if (!seal.key_word) {
            return MessageProblem{ProblemKind::kBadValue,
                                  "key_word is not lower-case hex of a signature's length"};
        }
    }
    return seal;
}

}  // namespace

bool PlacesCanBe(const Weighing& weighing) {
    if (!weighing.after || !weighing.next) {
        return true;
    }
    constexpr std::uint64_t kLongestLineBytes = kLongestLine + 2;
    const std::uint64_t start = weighing.id.offset;
    const std::uint64_t end = *weighing.next;
    return *weighing.after <= weighing.id.Place() && end > start &&
           end - start <= kLongestLineBytes &&
           end <= std::uint64_t{std::numeric_limits<std::int64_t>::max()};
}

std::string WriteWeighing(const Weighing& weighing) {
    nlohmann::ordered_json message;
    message["id"] = weighing.id.Text();
    message["scale"] = weighing.scale;
    message["reading"] = weighing.reading;
    WriteUnit(message, weighing.unit);
    message["time"] = nullptr;
    if (weighing.time) {
        message["time"] = *weighing.time;
    }
    message["line"] = weighing.line;
    if (weighing.after && weighing.next) {
        message["after"] = weighing.after->Text();
        message["next"] = *weighing.next;
    }
    if (const std::optional<LineSeal>& seal = weighing.seal) {
        message["previous"] = Hex(seal->previous);
        message["link"] = Hex(seal->link);
        message["signature"] = Hex(seal->signature);
        message["key"] = Hex(seal->key);
        if (seal->key_word) {
            message["key_word"] = Hex(*seal->key_word);
        }
    }
    return message.dump();
}

std::variant<Weighing, MessageProblem> ReadWeighing(std::string_view payload) {
    auto object = JsonObject(payload);
    if (auto* problem = std::get_if<MessageProblem>(&object)) {
        return std::move(*problem);
    }
    const nlohmann::json& message = std::get<nlohmann::json>(object);
    std::string id;
    std::string reading;
    std::string line;
    for (auto [field, target, longest] :
         {std::tuple{"id", &id, kLongestId}, std::tuple{"reading", &reading, kLongestReading},
          std::tuple{"line", &line, kLongestLine}}) {
        auto text = TextField(message, field, longest);
        if (auto* problem = std::get_if<MessageProblem>(&text)) {
            return std::move(*problem);
        }
        *target = std::move(std::get<std::string>(text));
    }
    const auto scale = message.find("scale");
    if (scale == message.end()) {
        return MessageProblem{ProblemKind::kMissingField, "scale"};
    }
    if (!scale->is_number_integer()) {
        return MessageProblem{ProblemKind::kWrongType, "scale is no integer"};
    }
    auto unit = ReadUnit(message);
    if (auto* problem = std::get_if<MessageProblem>(&unit)) {
        return std::move(*problem);
    }
    const auto time = message.find("time");
    if (time == message.end()) {
        return MessageProblem{ProblemKind::kMissingField, "time"};
    }
    std::optional<std::string> iso_time;
    if (!time->is_null()) {
        auto text = TextField(message, "time", kLongestTime);
        if (auto* problem = std::get_if<MessageProblem>(&text)) {
            return std::move(*problem);
        }
        iso_time = std::move(std::get<std::string>(text));
        if (!IsIsoTime(*iso_time)) {
            return MessageProblem{ProblemKind::kBadValue, "time is neither ISO 8601 nor null"};
        }
    }
    std::optional<WeighingId> read_id = WeighingId::Read(id);
    if (!read_id) {
        return MessageProblem{ProblemKind::kBadValue, "id is not CLIENT/yyyymm/OFFSET"};
    }
    // Both or neither: one without the other tells nothing.
    const auto after = message.find("after");
    const auto next = message.find("next");
    std::optional<LinePlace> after_place;
    std::optional<std::uint64_t> next_offset;
    if (after != message.end() || next != message.end()) {
        if (after == message.end() || !after->is_string() || next == message.end() ||
            !next->is_number_unsigned()) {
            return MessageProblem{ProblemKind::kWrongType,
                                  "after must be a text and next a number, both or neither"};
        }
        after_place = LinePlace::Read(after->get<std::string>());
        if (!after_place) {
            return MessageProblem{ProblemKind::kBadValue, "after is not yyyymm/OFFSET"};
        }
        next_offset = next->get<std::uint64_t>();
    }
    auto seal = ReadSeal(message);
    if (auto* problem = std::get_if<MessageProblem>(&seal)) {
        return std::move(*problem);
    }
    return Weighing{std::move(*read_id),
                    scale->get<std::int64_t>(),
                    std::move(reading),
                    std::move(std::get<std::string>(unit)),
                    std::move(iso_time),
                    std::move(line),
                    after_place,
                    next_offset,
                    std::get<std::optional<LineSeal>>(seal)};
}

}  // namespace station::protocol
