// The presets: one class per published continuous-output layout, each named for its shape.
#include <array>
#include <functional>

#include "core/reading/frame_fields.h"
#include "core/reading/indicator_format.h"

namespace station {
namespace {

using Kind = IndicatorReading::Kind;

constexpr char kStx = 2;

IndicatorReading Marked(Kind kind, std::optional<bool> motion = std::nullopt) {
    IndicatorReading reading;
    reading.kind = kind;
    reading.motion = motion;
    return reading;
}

// A weight when `value` reads as one, otherwise not a weight.
IndicatorReading WeightOf(std::string_view value, std::optional<bool> motion) {
    std::optional<std::string> weight = SignedDecimal(value);
    if (!weight) {
        return Marked(Kind::kNotAWeight, motion);
    }
    IndicatorReading reading = Marked(Kind::kWeight, motion);
    reading.weight = std::move(*weight);
    return reading;
}

// The weight of a field that ends in its unit, unless the unit counts pieces or percent.
IndicatorReading WeightWithUnit(std::string_view field, std::optional<bool> motion) {
    const ValueAndUnit split = SplitUnit(field);
    if (IsCountOrPercentage(split.unit)) {
        return Marked(Kind::kNotAWeight, motion);
    }
    return WeightOf(split.value, motion);
}

std::string_view WithoutLeading(std::string_view frame, char c) {
    while (!frame.empty() && (frame.front() == c || frame.front() == '\n')) {
        frame.remove_prefix(1);
    }
    return frame;
}

// "[address,]status[,GS|NT|G|N],weight[,]unit": status ST stable, US unstable, OL over, UL
// under, QT a count.
class CsvStatus final : public IndicatorFormat {
public:
    IndicatorReading Read(std::string_view frame) const override {
        std::array<std::string_view, 6> fields{};
        std::size_t count = 0;
        for (std::size_t at = 0; count < fields.size();) {
            const std::size_t comma = frame.find(',', at);
            fields[count++] = TrimBlanks(frame.substr(at, comma - at));
            if (comma == std::string_view::npos) {
                break;
            }
            at = comma + 1;
        }
        std::size_t status = 0;
        if (count > 1 && !IsStatus(fields[0]) && IsStatus(fields[1])) {
            status = 1;  // a bus address or scale number first
        }
        if (!IsStatus(fields[status])) {
            return Marked(Kind::kNotAWeight);
        }
        const std::string_view code = fields[status];
        const bool moving = code == "US";
        if (code == "OL") {
            return Marked(Kind::kOver, moving);
        }
        if (code == "UL") {
            return Marked(Kind::kUnder, moving);
        }
        if (code == "QT") {
            return Marked(Kind::kNotAWeight, moving);
        }
        std::size_t weight = status + 1;
        if (weight < count && IsMode(fields[weight])) {
            ++weight;
        }
        if (weight >= count) {
            return Marked(Kind::kNotAWeight, moving);
        }
        // "…,+12.5,kg": the unit after a comma of its own.
        std::string_view field = fields[weight];
        if (weight + 1 < count && SplitUnit(field).unit.empty()) {
            if (IsCountOrPercentage(fields[weight + 1])) {
                return Marked(Kind::kNotAWeight, moving);
            }
        }
        return WeightWithUnit(field, moving);
    }

private:
    static bool IsStatus(std::string_view field) {
        return field == "ST" || field == "US" || field == "OL" || field == "UL" || field == "QT";
    }
    static bool IsMode(std::string_view field) {
        return field == "GS" || field == "NT" || field == "G" || field == "N";
    }
};

// "S S value unit" stable, "S D value unit" dynamic, "S +" over, "S -" under, "S I" busy.
class LetterStatus final : public IndicatorFormat {
public:
    IndicatorReading Read(std::string_view frame) const override {
        frame = TrimBlanks(WithoutLeading(frame, ' '));
        if (frame.size() < 3 || frame[0] != 'S' || frame[1] != ' ') {
            return Marked(Kind::kNotAWeight);
        }
        switch (frame[2]) {
            case 'S':
                return WeightWithUnit(frame.substr(3), false);
            case 'D':
                return WeightWithUnit(frame.substr(3), true);
            case '+':
                return Marked(Kind::kOver);
            case '-':
                return Marked(Kind::kUnder);
            default:
                return Marked(Kind::kNotAWeight);
        }
    }
};

// LF, status (' ' or 'Z' a weight, 'O' over, 'U' under, 'E' error), range digit, G/N, motion
// ('M'), reserved, 10-character weight, unit, CR. The range digit is no part of the weight.
class LfRange final : public IndicatorFormat {
public:
    IndicatorReading Read(std::string_view frame) const override {
        frame = WithoutLeading(frame, '\n');
        constexpr std::size_t kWeightAt = 5;
        constexpr std::size_t kWeightLength = 10;
        if (frame.size() < kWeightAt + kWeightLength) {
            return Marked(Kind::kNotAWeight);
        }
        const bool moving = frame[3] == 'M';
        switch (frame[0]) {
            case 'O':
                return Marked(Kind::kOver, moving);
            case 'U':
                return Marked(Kind::kUnder, moving);
            case ' ':
            case 'Z':
                return WeightOf(frame.substr(kWeightAt, kWeightLength), moving);
            default:
                return Marked(Kind::kNotAWeight, moving);
        }
    }
};

// STX, polarity, 7-character weight, unit letter, G/N letter, status letter ('M' motion, 'O'
// over, 'C' centre of zero, 'I' invalid, else stable), CR LF.
class StxPolarity final : public IndicatorFormat {
public:
    IndicatorReading Read(std::string_view frame) const override {
        if (frame.size() < 11 || frame[0] != kStx) {
            return Marked(Kind::kNotAWeight);
        }
        const char status = frame[10];
        const bool moving = status == 'M';
        if (status == 'O') {
            return Marked(Kind::kOver, moving);
        }
        if (status == 'I') {
            return Marked(Kind::kNotAWeight, moving);
        }
        const char polarity = frame[1];
        if (polarity != '+' && polarity != '-' && polarity != ' ') {
            return Marked(Kind::kNotAWeight, moving);
        }
        IndicatorReading reading = WeightOf(frame.substr(2, 7), moving);
        if (reading.kind == Kind::kWeight && polarity == '-' && reading.weight.find_first_not_of(
                                                                    "0.") != std::string::npos) {
            reading.weight.insert(0, 1, '-');
        }
        return reading;
    }
};

// Sign, six digits (perhaps with a point), unit, G/N, two-letter status ("MO" motion, "OC"
// over capacity, "CZ" centre of zero, blanks stable), CR.
class Sign6Status final : public IndicatorFormat {
public:
    IndicatorReading Read(std::string_view frame) const override {
        if (frame.size() < 10) {
            return Marked(Kind::kNotAWeight);
        }
        const std::string_view status = frame.substr(frame.size() - 2);
        const bool moving = status == "MO";
        if (status == "OC") {
            return Marked(Kind::kOver, moving);
        }
        const char mode = frame[frame.size() - 3];
        if (mode != 'G' && mode != 'N') {
            return Marked(Kind::kNotAWeight, moving);
        }
        return WeightWithUnit(frame.substr(0, frame.size() - 3), moving);
    }
};

// 'W', G/N, 7-character weight ("OL" over, "LO" under), unit, two hex digits of the XOR of
// every byte before them, CR LF.
class WChecksum final : public IndicatorFormat {
public:
    IndicatorReading Read(std::string_view frame) const override {
        if (frame.size() < 5 || frame[0] != 'W') {
            return Marked(Kind::kNotAWeight);
        }
        const std::string_view body = frame.substr(0, frame.size() - 2);
        unsigned sum = 0;
        for (const char c : body) {
            sum ^= static_cast<unsigned char>(c);
        }
        if (HexByte(frame.substr(frame.size() - 2)) != sum) {
            IndicatorReading failed = Marked(Kind::kNotAWeight);
            failed.checksum_failed = true;
            return failed;
        }
        const std::string_view weight = body.substr(2);
        if (weight.find("OL") != std::string_view::npos) {
            return Marked(Kind::kOver);
        }
        if (weight.find("LO") != std::string_view::npos) {
            return Marked(Kind::kUnder);
        }
        return WeightWithUnit(weight, std::nullopt);
    }
};

// A right-justified weight and unit, with '?' after it while unstable; or a marker column (' '
// stable, '?' unstable, '^' over, 'v' under) and a sign column before it. "PCS" is a count.
class Marker final : public IndicatorFormat {
public:
    IndicatorReading Read(std::string_view frame) const override {
        if (frame.empty()) {
            return Marked(Kind::kNotAWeight);
        }
        switch (frame.front()) {
            case '^':
                return Marked(Kind::kOver);
            case 'v':
                return Marked(Kind::kUnder);
            case '?':
                return WeightWithUnit(frame.substr(1), true);
            default:
                break;
        }
        frame = TrimBlanks(frame);
        const bool moving = !frame.empty() && frame.back() == '?';
        if (moving) {
            frame.remove_suffix(1);
        }
        return WeightWithUnit(frame, moving);
    }
};

// A 16-character sign, weight and unit, perhaps after a 6-character id; the unit is left out
// while unstable. "H" over, "L" under, "Err ###" an error.
class IdLine final : public IndicatorFormat {
public:
    IndicatorReading Read(std::string_view frame) const override {
        constexpr std::size_t kLine = 16;
        constexpr std::size_t kId = 6;
        if (frame.size() == kLine + kId) {
            frame.remove_prefix(kId);
        }
        const std::string_view text = TrimBlanks(frame);
        if (text == "H") {
            return Marked(Kind::kOver);
        }
        if (text == "L") {
            return Marked(Kind::kUnder);
        }
        if (text.starts_with("Err")) {
            return Marked(Kind::kNotAWeight);
        }
        const ValueAndUnit split = SplitUnit(text);
        if (IsCountOrPercentage(split.unit)) {
            return Marked(Kind::kNotAWeight);
        }
        return WeightOf(split.value, split.unit.empty());
    }
};

// '$', status digit (0 stable, 1 unstable, 3 invalid), five digits; or '$', net, tare, unit and
// four hex status characters, of which the net is shown.
class Dollar final : public IndicatorFormat {
public:
    IndicatorReading Read(std::string_view frame) const override {
        frame = TrimBlanks(frame);
        if (frame.size() < 2 || frame[0] != '$') {
            return Marked(Kind::kNotAWeight);
        }
        const std::string_view rest = frame.substr(1);
        if (rest.size() == 6 && rest.find_first_not_of("0123456789") == std::string_view::npos) {
            switch (rest[0]) {
                case '0':
                    return WeightOf(rest.substr(1), false);
                case '1':
                    return WeightOf(rest.substr(1), true);
                default:
                    return Marked(Kind::kNotAWeight);  // invalid, or a piece number
            }
        }
        // "$ net tare unit ssss": the net is the first number.
        const std::string_view trimmed = TrimBlanks(rest);
        const std::size_t blank = trimmed.find(' ');
        return WeightOf(trimmed.substr(0, blank), std::nullopt);
    }
};

// STX, the weight, CR; or STX, '?', a status byte (bit 0 motion, bit 1 over, bit 2 under), CR
// when the weight is withheld.
class Polled final : public IndicatorFormat {
public:
    IndicatorReading Read(std::string_view frame) const override {
        if (frame.empty() || frame[0] != kStx) {
            return Marked(Kind::kNotAWeight);
        }
        if (frame.size() == 3 && frame[1] == '?') {
            const auto status = static_cast<unsigned char>(frame[2]);
            const bool moving = (status & 1U) != 0;
            if ((status & 2U) != 0) {
                return Marked(Kind::kOver, moving);
            }
            return Marked((status & 4U) != 0 ? Kind::kUnder : Kind::kNotAWeight, moving);
        }
        return WeightWithUnit(frame.substr(1), std::nullopt);
    }
};

struct Preset {
    std::string_view name;
    std::function<std::unique_ptr<IndicatorFormat>()> make;
};

template <typename Format>
Preset Named(std::string_view name) {
    return {name, [] { return std::make_unique<Format>(); }};
}

const std::vector<Preset>& Presets() {
    static const std::vector<Preset> presets{
        Named<CsvStatus>("csv-status"),     Named<LetterStatus>("letter-status"),
        Named<LfRange>("lf-range"),         Named<StxPolarity>("stx-polarity"),
        Named<Marker>("marker"),            Named<IdLine>("id-line"),
        Named<Dollar>("dollar"),            Named<WChecksum>("w-checksum"),
        Named<Polled>("polled"),            Named<Sign6Status>("sign6-status"),
    };
    return presets;
}

}  // namespace

std::unique_ptr<IndicatorFormat> MakePreset(std::string_view name) {
    for (const Preset& preset : Presets()) {
        if (preset.name == name) {
            return preset.make();
        }
    }
    return nullptr;
}

const std::vector<std::string_view>& PresetNames() {
    static const std::vector<std::string_view> names = [] {
        std::vector<std::string_view> all;
        for (const Preset& preset : Presets()) {
            all.push_back(preset.name);
        }
        return all;
    }();
    return names;
}

}  // namespace station
