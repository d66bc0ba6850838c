#include "core/reading/preset_readings.h"

#include "core/reading/frame_fields.h"

namespace station::preset {
namespace {

using Kind = IndicatorReading::Kind;

}  // namespace

IndicatorReading Marked(Kind kind, std::optional<bool> motion) {
    IndicatorReading reading;
    reading.kind = kind;
    reading.motion = motion;
    return reading;
}

IndicatorReading ChecksumFailed() {
    IndicatorReading failed = Marked(Kind::kNotAWeight);
    failed.checksum_failed = true;
    return failed;
}

unsigned XorOf(std::string_view bytes) {
    unsigned sum = 0;
    for (const char c : bytes) {
        sum ^= static_cast<unsigned char>(c);
    }
    return sum;
}

std::size_t WithPoint(std::string_view digits, std::size_t decimals, char* out) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (decimals > 0 && i == digits.size() - decimals) {
            out[length++] = '.';
        }
        out[length++] = digits[i];
    }
    return length;
}

IndicatorReading WeightOf(std::string_view value, std::optional<bool> motion) {
    std::optional<std::string> weight = SignedDecimal(value);
    if (!weight) {
        return Marked(Kind::kNotAWeight, motion);
    }
    IndicatorReading reading = Marked(Kind::kWeight, motion);
    reading.weight = std::move(*weight);
    return reading;
}

IndicatorReading WeightWithUnit(std::string_view field, std::optional<bool> motion) {
    const ValueAndUnit split = SplitUnit(field);
    if (IsCountOrPercentage(split.unit) || (!split.unit.empty() && !IsKnownUnit(split.unit))) {
        return Marked(Kind::kNotAWeight, motion);
    }
    IndicatorReading reading = WeightOf(split.value, motion);
    reading.unit = split.unit;
    return reading;
}

IndicatorReading InUnit(IndicatorReading reading, std::string_view unit) {
    if (reading.kind == Kind::kWeight) {
        reading.unit = unit;
    }
    return reading;
}

std::string_view WithoutLeading(std::string_view frame, char c) {
    while (!frame.empty() && (frame.front() == c || frame.front() == '\n')) {
        frame.remove_prefix(1);
    }
    return frame;
}

IndicatorReading Signed(char polarity, std::string_view weight, std::optional<bool> motion) {
    if (polarity != '+' && polarity != '-' && polarity != ' ') {
        return Marked(Kind::kNotAWeight, motion);
    }
    IndicatorReading reading = WeightOf(weight, motion);
    if (reading.kind == Kind::kWeight && polarity == '-') {
        MakeNegative(reading.weight);
    }
    return reading;
}

}  // namespace station::preset
