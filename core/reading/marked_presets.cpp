// Presets whose frames carry a marker, an id or a checksum of their own, and the polled one.
#include <algorithm>
#include <array>

#include "common/ascii.h"
#include "core/reading/frame_fields.h"
#include "core/reading/preset_formats.h"
#include "core/reading/preset_readings.h"

namespace station::preset {
namespace {

using Kind = IndicatorReading::Kind;

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
        if (count != fields.size() || !SignedDecimal(fields[1]) || !IsKnownUnit(fields[2]) ||
            fields[3].size() != 4 || !HexByte(fields[3].substr(0, 2)) ||
            !HexByte(fields[3].substr(2))) {
            return Marked(Kind::kNotAWeight);
        }
        return InUnit(WeightOf(fields[0], std::nullopt), fields[2]);
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
    Framing FrameBy() const override { return {'\r', false, kStx}; }
};

}  // namespace

std::unique_ptr<IndicatorFormat> MakeWChecksum() {
    return std::make_unique<WChecksum>();
}

std::unique_ptr<IndicatorFormat> MakeMarker() {
    return std::make_unique<Marker>();
}

std::unique_ptr<IndicatorFormat> MakeIdLine() {
    return std::make_unique<IdLine>();
}

std::unique_ptr<IndicatorFormat> MakeDollar() {
    return std::make_unique<Dollar>();
}

std::unique_ptr<IndicatorFormat> MakePolled() {
    return std::make_unique<Polled>();
}

}  // namespace station::preset
