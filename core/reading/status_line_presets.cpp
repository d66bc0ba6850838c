// Presets of one text line a reading, its status in letters or its range in a field.
#include <algorithm>
#include <array>

#include "common/ascii.h"
#include "core/reading/frame_fields.h"
#include "core/reading/preset_formats.h"
#include "core/reading/preset_readings.h"

namespace station::preset {
namespace {

using Kind = IndicatorReading::Kind;

// "[address,]status[,GS|NT|G|N],weight[,]unit[,TR,tare[,unit]]": status ST stable, US
// unstable, OL over, UL under, QT a count; with a tare, the net is shown. Every field must be
// read: a frame with one left over is a half frame glued to another, and no weight.
class CsvStatus final : public IndicatorFormat {
    using Fields = std::array<std::string_view, 8>;

public:
    IndicatorReading Read(std::string_view frame) const override {
        Fields fields{};
        std::size_t count = 0;
        for (std::size_t at = 0;;) {
            if (count == fields.size()) {
                return Marked(Kind::kNotAWeight);  // more fields than the layout has
            }
            const std::size_t comma = frame.find(',', at);
            fields[count++] = TrimBlanks(frame.substr(at, comma - at));
            if (comma == std::string_view::npos) {
                break;
            }
            at = comma + 1;
        }
        if (count > 1 && fields[count - 1].empty()) {
            --count;  // a comma that closes the frame
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
        std::size_t read = weight;  // the next field to read
        IndicatorReading gross = WeightAndOwnUnit(fields, count, read, moving);
        if (gross.kind != Kind::kWeight) {
            return gross;
        }
        if (numbered && read < count) {
            gross = Net(std::move(gross), fields, count, read, moving);
        } else if (read + 1 < count && IsTare(fields[read])) {
            // "…,GS,+1234.5kg,TR,+34.5kg": gross and tare, of which the net is shown, as the
            // indicator shows it in net mode; a net weight is shown as it is, its tare read too.
            IndicatorReading netted = Net(gross, fields, count, ++read, moving);
            if (!net || netted.kind != Kind::kWeight) {
                gross = std::move(netted);
            }
        }
        return read == count ? gross : Marked(Kind::kNotAWeight, moving);
    }

private:
    // The weight in field `at`, with its unit in the field after it where it has none of its
    // own ("…,+12.5,kg"); `at` moves past what was read.
    static IndicatorReading WeightAndOwnUnit(const Fields& fields, std::size_t count,
                                             std::size_t& at, bool moving) {
        const std::string_view field = fields[at++];
        if (at < count && SplitUnit(field).unit.empty()) {
            if (IsCountOrPercentage(fields[at])) {
                return Marked(Kind::kNotAWeight, moving);
            }
            if (IsKnownUnit(fields[at])) {
                return InUnit(WeightWithUnit(field, moving), fields[at++]);
            }
        }
        return WeightWithUnit(field, moving);
    }
    // The gross less the tare in field `at`, as the indicator shows it in net mode; `at` moves
    // past what was read.
    static IndicatorReading Net(IndicatorReading gross, const Fields& fields, std::size_t count,
                                std::size_t& at, bool moving) {
        const IndicatorReading tare = WeightAndOwnUnit(fields, count, at, moving);
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
        if ((frame[3] != ' ' && !moving) ||
            std::string_view("GNgn").find(frame[2]) == std::string_view::npos) {
            return Marked(Kind::kNotAWeight);
        }
        switch (frame[0]) {
            case 'O':
                return Marked(Kind::kOver, moving);
            case 'U':
                return Marked(Kind::kUnder, moving);
            case ' ':
            case 'Z': {
                const std::string_view unit = TrimBlanks(frame.substr(kWeightAt + kWeightLength));
                if (!unit.empty() && !IsKnownUnit(unit)) {
                    return Marked(Kind::kNotAWeight, moving);
                }
                return InUnit(WeightOf(frame.substr(kWeightAt, kWeightLength), moving), unit);
            }
            default:
                return Marked(Kind::kNotAWeight, moving);
        }
    }
    Framing FrameBy() const override { return {'\r', false, '\n'}; }
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
        if (!moving && status != "  " && status != "CZ") {
            return Marked(Kind::kNotAWeight);  // a status the layout does not have
        }
        const char mode = frame[frame.size() - 3];
        if (mode != 'G' && mode != 'N') {
            return Marked(Kind::kNotAWeight, moving);
        }
        return WeightWithUnit(frame.substr(0, frame.size() - 3), moving);
    }
};

}  // namespace

std::unique_ptr<IndicatorFormat> MakeCsvStatus() {
    return std::make_unique<CsvStatus>();
}

std::unique_ptr<IndicatorFormat> MakeLetterStatus() {
    return std::make_unique<LetterStatus>();
}

std::unique_ptr<IndicatorFormat> MakeLfRange() {
    return std::make_unique<LfRange>();
}

std::unique_ptr<IndicatorFormat> MakeSign6Status() {
    return std::make_unique<Sign6Status>();
}

}  // namespace station::preset
