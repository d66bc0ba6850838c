// The presets: one class per published continuous-output layout, each named for its shape.
#include <algorithm>
#include <array>
#include <functional>

#include "core/reading/frame_fields.h"
#include "core/reading/indicator_format.h"
#include "core/text/ascii.h"

namespace station {
namespace {

using Kind = IndicatorReading::Kind;

constexpr char kStx = 2;
constexpr char kEtx = 3;

IndicatorReading Marked(Kind kind, std::optional<bool> motion = std::nullopt) {
    IndicatorReading reading;
    reading.kind = kind;
    reading.motion = motion;
    return reading;
}

// A frame whose checksum does not match: no weight, and said (at most once a minute).
IndicatorReading ChecksumFailed() {
    IndicatorReading failed = Marked(Kind::kNotAWeight);
    failed.checksum_failed = true;
    return failed;
}

// The XOR of every byte, as the layouts with a two-hex-digit checksum count it.
unsigned XorOf(std::string_view bytes) {
    unsigned sum = 0;
    for (const char c : bytes) {
        sum ^= static_cast<unsigned char>(c);
    }
    return sum;
}

// Writes `digits` to `out` with a point before the last `decimals` of them; returns the length.
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

// The weight of a field that ends in its unit, unless the unit counts pieces or percent or is
// no unit at all (letters only, "kg", "lb", "ozt"): a frame of another layout, its status
// letters or control bytes after the number, is no weight.
IndicatorReading WeightWithUnit(std::string_view field, std::optional<bool> motion) {
    const ValueAndUnit split = SplitUnit(field);
    if (IsCountOrPercentage(split.unit) || (!split.unit.empty() && !IsUnitWord(split.unit))) {
        return Marked(Kind::kNotAWeight, motion);
    }
    IndicatorReading reading = WeightOf(split.value, motion);
    reading.unit = split.unit;
    return reading;
}

// A weight read with the unit its frame writes apart from it.
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

// A weight field after its own polarity character (' ' or '+' positive, '-' negative).
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

// "[address,]status[,GS|NT|G|N],weight[,]unit[,TR,tare]": status ST stable, US unstable, OL
// over, UL under, QT a count; with a tare, the net is shown.
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
        // "01ST,…": a bus address written straight before the status.
        if (fields[0].size() > 2 && fields[0].size() <= 5 &&
            IsStatus(fields[0].substr(fields[0].size() - 2)) &&
            std::all_of(fields[0].begin(), fields[0].end() - 2, IsDigit)) {
            fields[0].remove_prefix(fields[0].size() - 2);
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
        bool net = false;
        if (weight < count && IsMode(fields[weight])) {
            net = fields[weight].starts_with('N');
            ++weight;
        } else if (weight < count && fields[weight].size() > 3 &&
                   IsMode(fields[weight].substr(0, 2)) &&
                   std::string_view(" +-").find(fields[weight][2]) != std::string_view::npos) {
            net = fields[weight].starts_with('N');
            // "GS    12.5 kg" or "NT-    12.5 kg": the mode, the sign perhaps, blanks, the weight
            fields[weight].remove_prefix(2);
        }
        // "ST,1,+12.50kg,+1.00kg": a scale's number before the gross, both weights with their
        // units; the number is never the weight.
        const bool numbered =
            weight + 1 < count && IsScaleNumber(fields[weight]) && CarriesUnit(fields[weight + 1]);
        if (numbered) {
            ++weight;
        }
        if (weight >= count) {
            return Marked(Kind::kNotAWeight, moving);
        }
        // "…,+12.5,kg": the unit after a comma of its own.
        std::string_view field = fields[weight];
        std::string_view own_unit;
        if (weight + 1 < count && SplitUnit(field).unit.empty()) {
            if (IsCountOrPercentage(fields[weight + 1])) {
                return Marked(Kind::kNotAWeight, moving);
            }
            if (IsUnitWord(fields[weight + 1])) {
                own_unit = fields[weight + 1];
            }
        }
        IndicatorReading gross = WeightWithUnit(field, moving);
        if (!own_unit.empty()) {
            gross = InUnit(std::move(gross), own_unit);
        }
        if (numbered && gross.kind == Kind::kWeight && weight + 1 < count) {
            return Net(std::move(gross), fields[weight + 1], moving);
        }
        // "…,GS,+1234.5kg,TR,+34.5kg": gross and tare, of which the net is shown, as the
        // indicator shows it in net mode; a net weight is shown as it is.
        for (std::size_t tare = weight + 1; !net && tare + 1 < count; ++tare) {
            if (gross.kind == Kind::kWeight && IsTare(fields[tare])) {
                return Net(std::move(gross), fields[tare + 1], moving);
            }
        }
        return gross;
    }

private:
    // The gross less the tare field, as the indicator shows it in net mode.
    static IndicatorReading Net(IndicatorReading gross, std::string_view tare_field, bool moving) {
        const IndicatorReading tare = WeightWithUnit(tare_field, moving);
        std::optional<std::string> net =
            tare.kind == Kind::kWeight ? Difference(gross.weight, tare.weight) : std::nullopt;
        if (!net) {
            return Marked(Kind::kNotAWeight, moving);
        }
        gross.weight = std::move(*net);
        return gross;
    }
    static bool IsScaleNumber(std::string_view field) {
        return !field.empty() && field.size() <= 2 &&
               std::all_of(field.begin(), field.end(), IsDigit);
    }
    // A value with its unit in the same field, "+12.50kg".
    static bool CarriesUnit(std::string_view field) {
        const ValueAndUnit split = SplitUnit(field);
        return !split.unit.empty() && !TrimBlanks(split.value).empty();
    }
    static bool IsStatus(std::string_view field) {
        return field == "ST" || field == "US" || field == "OL" || field == "UL" || field == "QT";
    }
    static bool IsTare(std::string_view field) {
        return field == "TR" || field == "T" || field == "TW" || field == "PT";
    }
    static bool IsMode(std::string_view field) {
        return field == "GS" || field == "NT" || field == "G" || field == "N";
    }
};

// "S S value unit" stable, "S D value unit" dynamic, "S +" over, "S -" under, "S I" busy. Pounds
// and ounces ("S S   12 lb  8.5 oz", "S S 12:08.5 lb:oz") are shown in pounds.
class LetterStatus final : public IndicatorFormat {
public:
    IndicatorReading Read(std::string_view frame) const override {
        frame = TrimBlanks(WithoutLeading(frame, ' '));
        if (frame.size() < 3 || frame[0] != 'S' || frame[1] != ' ') {
            return Marked(Kind::kNotAWeight);
        }
        switch (frame[2]) {
            case 'S':
                return Weighed(frame.substr(3), false);
            case 'D':
                return Weighed(frame.substr(3), true);
            case '+':
                return Marked(Kind::kOver);
            case '-':
                return Marked(Kind::kUnder);
            default:
                return Marked(Kind::kNotAWeight);
        }
    }

private:
    static IndicatorReading Weighed(std::string_view field, bool moving) {
        if (!field.ends_with("oz") || field.find("lb") == std::string_view::npos) {
            return WeightWithUnit(field, moving);
        }
        std::optional<std::string> pounds = PoundsOfPoundsAndOunces(field);
        if (!pounds) {
            return Marked(Kind::kNotAWeight, moving);  // never the pounds alone
        }
        IndicatorReading reading = Marked(Kind::kWeight, moving);
        reading.weight = std::move(*pounds);
        reading.unit = "lb";
        return reading;
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
            case 'Z': {
                const std::string_view unit = TrimBlanks(frame.substr(kWeightAt + kWeightLength));
                return InUnit(WeightOf(frame.substr(kWeightAt, kWeightLength), moving),
                              IsUnitWord(unit) ? unit : "");
            }
            default:
                return Marked(Kind::kNotAWeight, moving);
        }
    }
};

// STX, polarity, 7-character weight, unit letter (K kg, L lb, G g, T t, O oz), G/N letter, status
// letter ('M' motion, 'O' over, 'C' centre of zero, 'I' invalid, else stable), CR LF.
class StxPolarity final : public IndicatorFormat {
public:
    IndicatorReading Read(std::string_view frame) const override {
        if (frame.size() < 12 || frame[0] != kStx) {
            return Marked(Kind::kNotAWeight);
        }
        const char status = frame[11];
        const bool moving = status == 'M';
        if (status == 'O') {
            return Marked(Kind::kOver, moving);
        }
        if (status == 'I') {
            return Marked(Kind::kNotAWeight, moving);
        }
        return InUnit(Signed(frame[1], frame.substr(2, 7), moving), UnitOf(frame[9]));
    }

private:
    static std::string_view UnitOf(char letter) {
        switch (letter) {
            case 'L':
                return "lb";
            case 'G':
                return "g";
            case 'T':
                return "t";
            case 'O':
                return "oz";
            default:
                return "kg";
        }
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
        if (HexByte(frame.substr(frame.size() - 2)) != XorOf(body)) {
            return ChecksumFailed();
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
// stable, '?' unstable, '^' over, 'v' under) and a sign column before it, perhaps after the
// echo of the command that asked. "PCS" is a count.
class Marker final : public IndicatorFormat {
public:
    IndicatorReading Read(std::string_view frame) const override {
        if (frame.empty()) {
            return Marked(Kind::kNotAWeight);
        }
        if (const std::optional<IndicatorReading> echoed = AfterEcho(frame)) {
            return *echoed;
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
        bool moving = !frame.empty() && frame.back() == '?';
        if (moving) {
            frame.remove_suffix(1);
        }
        // After the unit, the '?' and a legend ("G", "NET") or the time of day may follow.
        const ValueAndUnit split = SplitUnit(frame);
        const std::size_t unit_end = std::min(split.unit.find(' '), split.unit.size());
        std::string_view after = TrimBlanks(split.unit.substr(unit_end));
        if (after.starts_with('?')) {
            moving = true;
            after = TrimBlanks(after.substr(1));
        }
        if (!after.empty() && !IsLegendOrTime(after)) {
            return Marked(Kind::kNotAWeight, moving);
        }
        return WeightWithUnit(frame.substr(0, frame.size() - split.unit.size() + unit_end), moving);
    }

private:
    static bool IsLegendOrTime(std::string_view text) {
        constexpr std::size_t kLongest = 12;
        return text.size() <= kLongest && std::all_of(text.begin(), text.end(), [](char c) {
                   return IsDigit(c) || c == ':' || c == ' ' || (c >= 'A' && c <= 'Z') ||
                          (c >= 'a' && c <= 'z');
               });
    }
    // The answer to a command, which begins with the command's letters and a blank: then the
    // marker column (blank when stable), the sign column and the weight with its unit ("SI ?
    // 18.5 kg"), or one letter alone ("SI I" not now, "S E" too slow).
    static std::optional<IndicatorReading> AfterEcho(std::string_view frame) {
        std::size_t letters = 0;
        while (letters < frame.size() && letters < 3 && frame[letters] >= 'A' &&
               frame[letters] <= 'Z') {
            ++letters;
        }
        if (letters == 0 || letters >= frame.size() || frame[letters] != ' ') {
            return std::nullopt;
        }
        std::string_view rest = TrimBlanks(frame.substr(letters));
        if (rest.size() <= 1 && rest != "^" && rest != "v") {
            return Marked(Kind::kNotAWeight);  // a command's answer without a weight
        }
        switch (rest.front()) {
            case '^':
                return Marked(Kind::kOver);
            case 'v':
                return Marked(Kind::kUnder);
            case '?':
                rest.remove_prefix(1);
                return WeightWithUnit(TrimBlanks(rest), true);
            default:
                return WeightWithUnit(rest, false);
        }
    }
};

// A 16-character sign, weight and unit, perhaps after a 6-character id; the unit is left out
// while unstable, and a last digit may stand in brackets. "H" over, "L" under, "Err ###" an
// error.
class IdLine final : public IndicatorFormat {
public:
    IndicatorReading Read(std::string_view frame) const override {
        constexpr std::size_t kLine = 16;
        constexpr std::size_t kId = 6;
        // An error code is never an id: a long "Err ..." frame loses nothing to the id's columns.
        if (TrimBlanks(frame).starts_with("Err")) {
            return Marked(Kind::kNotAWeight);
        }
        // Six columns of id before the line, counted with its CR LF or without them.
        if (frame.size() == kLine + kId || frame.size() == kLine - 2 + kId) {
            frame.remove_prefix(kId);
        }
        std::string_view text = TrimBlanks(frame);
        // A shorter identifier, capitals and digits after a capital ("N", "G1"), stands first.
        if (text.size() > 1 && IsIdLetter(text.front())) {
            const std::size_t end = std::min(text.find(' '), text.size());
            const std::string_view id = text.substr(0, end);
            const auto in_id = [](char c) { return IsIdLetter(c) || IsDigit(c); };
            if (id.size() > kId || !std::all_of(id.begin(), id.end(), in_id)) {
                return Marked(Kind::kNotAWeight);
            }
            text = TrimBlanks(text.substr(end));
        }
        if (text == "H") {
            return Marked(Kind::kOver);
        }
        if (text == "L") {
            return Marked(Kind::kUnder);
        }
        // "+  1234[5] g": on a verified instrument the last digit, not verified, stands in
        // brackets; it is part of the weight.
        const std::size_t open = text.find('[');
        if (open != std::string_view::npos && open > 0 && open + 2 < text.size() &&
            IsDigit(text[open - 1]) && IsDigit(text[open + 1]) && text[open + 2] == ']') {
            std::string joined(text.substr(0, open));
            joined.append(1, text[open + 1]).append(text.substr(open + 3));
            return Weighed(joined);
        }
        return Weighed(text);
    }

private:
    static bool IsIdLetter(char c) { return c >= 'A' && c <= 'Z'; }
    static IndicatorReading Weighed(std::string_view text) {
        return WeightWithUnit(text, SplitUnit(text).unit.empty());
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
        // "$ net tare unit ssss", the layout whole: a frame that is not read nothing.
        std::array<std::string_view, 4> fields{};
        std::size_t count = 0;
        for (std::string_view left = TrimBlanks(rest); !left.empty(); left = TrimBlanks(left)) {
            const std::size_t blank = std::min(left.find(' '), left.size());
            if (count == fields.size()) {
                return Marked(Kind::kNotAWeight);
            }
            fields[count++] = left.substr(0, blank);
            left.remove_prefix(blank);
        }
        const auto is_letter = [](char c) {
            return ToLowerAscii(c) >= 'a' && ToLowerAscii(c) <= 'z';
        };
        if (count != fields.size() || !SignedDecimal(fields[1]) ||
            !std::all_of(fields[2].begin(), fields[2].end(), is_letter) || fields[3].size() != 4 ||
            !HexByte(fields[3].substr(0, 2)) || !HexByte(fields[3].substr(2))) {
            return Marked(Kind::kNotAWeight);
        }
        return InUnit(WeightOf(fields[0], std::nullopt), IsUnitWord(fields[2]) ? fields[2] : "");
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

// STX, status bytes A B C, six-digit weight, an optional six-digit tare, CR, and optionally a
// checksum byte: the two's complement of the 7-bit sum of STX to CR. A bits 0-2 place the
// decimal point (0: two dummy zeros, 1: one, 2: none, 3 to 7: one to five decimals); B bit 1
// negative, bit 2 out of range (under it when negative), bit 3 motion. A frame is read at its
// CR, and checked again by the byte after it when that is no STX.
class StxStatus final : public IndicatorFormat {
public:
    IndicatorReading Read(std::string_view frame) const override {
        const std::size_t cr = frame.find('\r');
        if (frame.size() < 10 || frame[0] != kStx || cr == std::string_view::npos || cr < 10) {
            return Marked(Kind::kNotAWeight);
        }
        if (cr + 1 < frame.size()) {
            unsigned sum = 0;
            for (std::size_t i = 0; i <= cr; ++i) {
                sum += static_cast<unsigned char>(frame[i]);
            }
            if (((0U - sum) & 0x7FU) != (static_cast<unsigned char>(frame[cr + 1]) & 0x7FU)) {
                return ChecksumFailed();
            }
        }
        const auto a = static_cast<unsigned char>(frame[1]);
        const auto b = static_cast<unsigned char>(frame[2]);
        const bool moving = (b & 8U) != 0;
        if ((b & 4U) != 0) {  // out of range: below it when negative
            return Marked((b & 2U) != 0 ? Kind::kUnder : Kind::kOver, moving);
        }
        std::array<char, 6> digits{};
        for (std::size_t i = 0; i < digits.size(); ++i) {
            digits[i] = frame[4 + i] == ' ' ? '0' : frame[4 + i];
            if (!IsDigit(digits[i])) {
                return Marked(Kind::kNotAWeight, moving);
            }
        }
        const unsigned point = a & 7U;
        std::array<char, 16> text{};
        std::size_t length = WithPoint(std::string_view(digits.data(), digits.size()),
                                       point >= 3 ? point - 2 : 0, text.data());
        for (unsigned zeros = point < 2 ? 2 - point : 0; zeros > 0; --zeros) {
            text[length++] = '0';
        }
        IndicatorReading reading = WeightOf(std::string_view(text.data(), length), moving);
        if (reading.kind == Kind::kWeight && (b & 2U) != 0) {
            MakeNegative(reading.weight);
        }
        return reading;
    }
    Framing FrameBy() const override { return {'\r', false, kStx}; }
};

// No terminator: each frame starts with '=' and holds the weight, its characters in reverse
// order (the sign last) or, forward, in the order written, in as many columns as every frame.
class EqualsFrame final : public IndicatorFormat {
public:
    explicit EqualsFrame(bool reversed) : reversed_(reversed) {}

    IndicatorReading Read(std::string_view frame) const override {
        if (frame.empty() || frame[0] != '=') {
            return Marked(Kind::kNotAWeight);
        }
        frame = TrimBlanks(frame.substr(1));
        std::array<char, 24> text{};
        if (frame.size() > text.size()) {
            return Marked(Kind::kNotAWeight);
        }
        for (std::size_t i = 0; i < frame.size(); ++i) {
            text[i] = reversed_ ? frame[frame.size() - 1 - i] : frame[i];
        }
        return WeightOf(std::string_view(text.data(), frame.size()), std::nullopt);
    }
    Framing FrameBy() const override { return {'=', true}; }

private:
    bool reversed_;
};

// STX ... ETX: a sign, six digits, the count of decimals and two hex digits of the XOR of the
// bytes before them after STX; or a sign, a 7-character weight and a status letter (G or N, M
// motion, O over, U under, E error).
class StxEtx final : public IndicatorFormat {
public:
    IndicatorReading Read(std::string_view frame) const override {
        frame = WithoutLeading(frame, '\r');
        if (frame.size() < 2 || frame[0] != kStx) {
            return Marked(Kind::kNotAWeight);
        }
        const std::string_view body = frame.substr(1);
        if (body.size() == 10 && IsDigit(body[7])) {
            return Counted(body);
        }
        if (body.size() != 9) {
            return Marked(Kind::kNotAWeight);
        }
        const char status = body[8];
        const bool moving = status == 'M';
        switch (status) {
            case 'O':
                return Marked(Kind::kOver, moving);
            case 'U':
                return Marked(Kind::kUnder, moving);
            case 'E':
                return Marked(Kind::kNotAWeight, moving);
            default:
                return Signed(body[0], body.substr(1, 7), moving);
        }
    }
    Framing FrameBy() const override { return {kEtx, false}; }

private:
    static IndicatorReading Counted(std::string_view body) {
        if (HexByte(body.substr(8, 2)) != XorOf(body.substr(0, 8))) {
            return ChecksumFailed();
        }
        const std::string_view digits = body.substr(1, 6);
        const auto decimals = static_cast<std::size_t>(body[7] - '0');
        if (decimals > digits.size()) {
            return Marked(Kind::kNotAWeight);
        }
        std::array<char, 8> text{};
        const std::size_t length = WithPoint(digits, decimals, text.data());
        return Signed(body[0], std::string_view(text.data(), length), std::nullopt);
    }
};

// CR, polarity, the weight, status (' ' stable, 'M' motion, 'O' over, 'U' under, 'e' not
// displayed), the unit in two columns, G/N, ETX.
class CrEtx final : public IndicatorFormat {
public:
    // Counted from the end, since the weight's width varies (a decimal point or not): the mode
    // letter last, before it the unit in two columns (one letter padded with a blank), before
    // that the status column; the polarity first, the weight between.
    IndicatorReading Read(std::string_view frame) const override {
        frame = WithoutLeading(frame, '\r');
        constexpr std::size_t kAfterWeight = 4;  // status, two unit columns, mode
        if (frame.size() < kAfterWeight + 2) {
            return Marked(Kind::kNotAWeight);
        }
        const std::size_t status_at = frame.size() - kAfterWeight;
        const char status = frame[status_at];
        const std::string_view unit = TrimBlanks(frame.substr(status_at + 1, 2));
        const char mode = frame.back();
        const bool known_status =
            status == ' ' || status == 'M' || status == 'O' || status == 'U' || status == 'e';
        if (!known_status || !IsUnitWord(unit) ||
            (mode != 'G' && mode != 'N' && mode != 'g' && mode != 'n')) {
            return Marked(Kind::kNotAWeight);
        }
        const bool moving = status == 'M';
        if (status == 'O') {
            return Marked(Kind::kOver, moving);
        }
        if (status == 'U') {
            return Marked(Kind::kUnder, moving);
        }
        if (status == 'e') {
            return Marked(Kind::kNotAWeight, moving);  // the weight is not on the display
        }
        return InUnit(Signed(frame[0], frame.substr(1, status_at - 1), moving), unit);
    }
    Framing FrameBy() const override { return {kEtx, false}; }
};

// A block of lines, each CR-ended and labelled, the label before the value ("NET: 10.00 kg") or
// after its unit ("10.00 kg N", perhaps with '?' while moving): gross, tare and net, of which
// the net is shown, or the gross where the block has no net (no tare taken); or weight, number
// and total, of which the weight is shown. Other lines, blank ones too, change nothing. A gross
// is shown at once unless the scale's last gross was followed by a net: then the net is waited
// for, until a gross comes again without one between.
class Block final : public IndicatorFormat {
public:
    IndicatorReading Read(std::string_view frame) const override {
        const std::string_view line = TrimBlanks(frame);
        const std::size_t number_at = NumberStart(line);
        std::string_view before = TrimBlanks(line.substr(0, number_at));
        if (!before.empty() && before.back() == ':') {
            before.remove_suffix(1);
        }
        const ValueAndUnit split = SplitUnit(line.substr(std::min(number_at, line.size())));
        // The unit is the first word after the value; a label may follow it.
        const std::size_t unit_end = std::min(split.unit.find(' '), split.unit.size());
        std::string_view after = TrimBlanks(split.unit.substr(unit_end));
        const bool moving = after.starts_with('?');
        if (moving) {
            after = TrimBlanks(after.substr(1));
        }
        const std::string label = Normalised(before.empty() ? after : before);
        const bool gross = IsGrossLabel(label);
        IndicatorReading nothing;
        nothing.changes_nothing = true;
        if (number_at == line.size() || (!gross && !IsShownLabel(label))) {
            return nothing;
        }
        if (gross) {
            net_follows_ = net_follows_ && !gross_pending_;
            gross_pending_ = true;
            if (net_follows_) {
                return nothing;
            }
        } else {
            net_follows_ = gross_pending_;
            gross_pending_ = false;
        }
        return WeightWithUnit(line.substr(number_at, split.value.size() + unit_end),
                              moving ? std::optional<bool>(true) : std::nullopt);
    }

private:
    // Where the value starts: the first digit, or a sign before one.
    static std::size_t NumberStart(std::string_view line) {
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (IsDigit(line[i])) {
                return i;
            }
            if (line[i] == '+' || line[i] == '-') {
                const std::string_view rest = TrimBlanks(line.substr(i + 1));
                if (!rest.empty() && IsDigit(rest.front())) {
                    return i;
                }
            }
        }
        return line.size();
    }
    // The label's letters in upper case, without points, slashes and blanks: "N/W" and "Net Wt."
    // read as "NW" and "NETWT". Longer than any label shown, it is none, and the text stays
    // within the string's own storage.
    static std::string Normalised(std::string_view label) {
        constexpr std::size_t kLongest = 12;
        std::string letters;
        for (const char c : label) {
            if (letters.size() == kLongest) {
                return {};
            }
            const char lower = ToLowerAscii(c);
            if (lower >= 'a' && lower <= 'z') {
                letters.push_back(static_cast<char>(lower - 'a' + 'A'));
            } else if (c != '.' && c != '/' && c != ' ' && c != ':') {
                return {};  // not a label
            }
        }
        return letters;
    }
    static bool IsGrossLabel(std::string_view label) {
        static constexpr std::string_view kGross[] = {"G",  "GS",   "GR",     "GROSS",
                                                      "GW", "GRWT", "BRUTTO", "GROSSWT"};
        return std::find(std::begin(kGross), std::end(kGross), label) != std::end(kGross);
    }
    static bool IsShownLabel(std::string_view label) {
        static constexpr std::string_view kShown[] = {
            "N", "NT", "NET", "NETT",   "NETTO", "NW",       "NETWT",
            "W", "WT", "WGT", "WEIGHT", "MASA",  "NETWEIGHT"};
        return std::find(std::begin(kShown), std::end(kShown), label) != std::end(kShown);
    }

    // What the scale's blocks have shown so far: a reader serves one scale.
    mutable bool gross_pending_ = false;  // a gross came, and no net after it yet
    mutable bool net_follows_ = false;    // the last gross was followed by a net
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
    static const std::vector<Preset> kPresets{
        Named<StxStatus>("stx-status"),
        Named<CsvStatus>("csv-status"),
        Named<LetterStatus>("letter-status"),
        Named<LfRange>("lf-range"),
        Named<StxPolarity>("stx-polarity"),
        Named<Marker>("marker"),
        Named<IdLine>("id-line"),
        Named<Dollar>("dollar"),
        Named<WChecksum>("w-checksum"),
        {"equals", [] { return std::make_unique<EqualsFrame>(true); }},
        {"equals-forward", [] { return std::make_unique<EqualsFrame>(false); }},
        Named<StxEtx>("stx-etx"),
        Named<Block>("block"),
        Named<Polled>("polled"),
        Named<CrEtx>("cr-etx"),
        Named<Sign6Status>("sign6-status"),
    };
    return kPresets;
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
    static const std::vector<std::string_view> kNames = [] {
        std::vector<std::string_view> all;
        for (const Preset& preset : Presets()) {
            all.push_back(preset.name);
        }
        return all;
    }();
    return kNames;
}

}  // namespace station
