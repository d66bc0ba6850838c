// Presets whose frames are bounded by control bytes (STX, ETX, CR) or begun by "=".
#include <algorithm>
#include <array>

#include "common/ascii.h"
#include "core/reading/frame_fields.h"
#include "core/reading/preset_formats.h"
#include "core/reading/preset_readings.h"

namespace station::preset {
namespace {

using Kind = IndicatorReading::Kind;

// STX, status bytes A B C, six-digit weight, an optional six-digit tare, CR, and optionally a
// checksum byte: the two's complement of the 7-bit sum of STX to CR. A bits 0-2 place the
// decimal point (0: two dummy zeros, 1: one, 2: none, 3 to 7: one to five decimals); B bit 1
// negative, bit 2 out of range (under it when negative), bit 3 motion, bit 4 kilograms (else
// pounds); C bits 0-2 another unit. A frame is read at its CR, and checked again by the byte
// after it when that is no STX. A line feed there that does not check is the frame's ending,
// from an indicator set to end frames with CR LF instead of a checksum.
class StxStatus final : public IndicatorFormat {
public:
    IndicatorReading Read(std::string_view frame) const override {
        const std::size_t cr = frame.find('\r');
        // Six digits after the status bytes, perhaps six of tare, and one check byte at most.
        if (frame.empty() || frame[0] != kStx || (cr != 10 && cr != 16) || frame.size() > cr + 2) {
            return Marked(Kind::kNotAWeight);
        }
        if (cr + 1 < frame.size()) {
            unsigned sum = 0;
            for (std::size_t i = 0; i <= cr; ++i) {
                sum += static_cast<unsigned char>(frame[i]);
            }
            const auto check = static_cast<unsigned char>(frame[cr + 1]);
            if (((0U - sum) & 0x7FU) != (check & 0x7FU) && check != '\n') {
                return ChecksumFailed();
            }
        }
        const auto a = static_cast<unsigned char>(frame[1]);
        const auto b = static_cast<unsigned char>(frame[2]);
        const std::string_view unit = UnitOf(b, static_cast<unsigned char>(frame[3]));
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
        return InUnit(std::move(reading), unit);
    }
    Framing FrameBy() const override { return {'\r', false, kStx, true}; }

private:
    static std::string_view UnitOf(unsigned b, unsigned c) {
        static constexpr std::string_view kUnits[] = {"", "g", "t", "oz", "ozt", "gn", "dwt", "tn"};
        const unsigned other = c & 7U;
        if (other != 0) {
            return kUnits[other];
        }
        return (b & 0x10U) != 0 ? "kg" : "lb";
    }
};

// STX, polarity, 7-character weight, unit letter (K kg, L lb, G g, T t, O oz), G/N letter, status
// letter (' ' stable, 'M' motion, 'O' over, 'C' centre of zero, 'I' invalid), CR LF. A letter
// the layout does not have makes the frame no weight.
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
        const std::string_view unit = UnitOf(frame[9]);
        if (std::string_view(" MC").find(status) == std::string_view::npos || unit.empty() ||
            (frame[10] != 'G' && frame[10] != 'N')) {
            return Marked(Kind::kNotAWeight, moving);
        }
        return InUnit(Signed(frame[1], frame.substr(2, 7), moving), unit);
    }
    Framing FrameBy() const override { return {'\r', false, kStx}; }

private:
    static std::string_view UnitOf(char letter) {
        switch (letter) {
            case 'K':
                return "kg";
            case 'L':
                return "lb";
            case 'G':
                return "g";
            case 'T':
                return "t";
            case 'O':
                return "oz";
            default:
                return {};
        }
    }
};

// STX ... ETX: a sign, six digits, the count of decimals and the XOR of the bytes before it
// after STX, as two hex digits or as the byte itself; or a sign, a 7-character weight and a
// status letter (G or N, M motion, O over, U under, E error). A check byte is never read as a
// digit: a frame that both layouts read (a raw check that happens to be a status letter) is read
// as the scale's last frame that only one of them read was, and is no weight before there was
// one.
class StxEtx final : public IndicatorFormat {
public:
    IndicatorReading Read(std::string_view frame) const override {
        frame = WithoutLeading(frame, '\r');
        if (frame.size() < 2 || frame[0] != kStx) {
            return Marked(Kind::kNotAWeight);
        }
        const std::string_view body = frame.substr(1);
        if (body.size() == 10 && IsDigit(body[7])) {
            return Counted(body, HexByte(body.substr(8, 2)) == XorOf(body.substr(0, 8)));
        }
        if (body.size() != 9) {
            return Marked(Kind::kNotAWeight);
        }
        const char status = body[8];
        const bool lettered = std::string_view("GNMOUE").find(status) != std::string_view::npos;
        const bool counted = IsDigit(body[7]) && !lettered;
        const bool checks =
            IsDigit(body[7]) && static_cast<unsigned char>(status) == XorOf(body.substr(0, 8));
        if (counted || (checks && counted_.value_or(false))) {
            counted_ = true;
            return Counted(body, checks);
        }
        if (!lettered || (checks && !counted_.has_value())) {
            return Marked(Kind::kNotAWeight);
        }
        counted_ = false;
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
    Framing FrameBy() const override { return {kEtx, false, kStx}; }

private:
    static IndicatorReading Counted(std::string_view body, bool checks) {
        if (!checks) {
            return ChecksumFailed();
        }
        const std::string_view digits = body.substr(1, 6);
        const auto decimals = static_cast<std::size_t>(body[7] - '0');
        if (decimals > digits.size() ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return IsDigit(c); })) {
            return Marked(Kind::kNotAWeight);
        }
        std::array<char, 8> text{};
        const std::size_t length = WithPoint(digits, decimals, text.data());
        return Signed(body[0], std::string_view(text.data(), length), std::nullopt);
    }

    // Which layout the scale's last frame read by one layout alone had; the reader serves one
    // scale.
    mutable std::optional<bool> counted_;
};

// CR, polarity, the weight, status (' ' stable, 'M' motion, 'O' over, 'U' under, 'e' not
// displayed), the unit in two columns, G/N, ETX; or the column layout (InColumns).
class CrEtx final : public IndicatorFormat {
public:
    // Counted from the end, since the weight's width varies (a decimal point or not): the mode
    // letter last, before it the unit in two columns (one letter padded with a blank), before
    // that the status column; the polarity first, the weight between.
    IndicatorReading Read(std::string_view frame) const override {
        frame = WithoutLeading(frame, '\r');
        if (const std::optional<IndicatorReading> columns = InColumns(frame)) {
            return *columns;
        }
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
        if (!known_status || !IsKnownUnit(unit) ||
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
    Framing FrameBy() const override { return {kEtx, false, '\r'}; }

private:
    // The column layout: sign, six digits, motion ('m' or blank), blank, the unit in two
    // columns, blank, mode ('g' gross, 'n' net), two blanks. Nullopt for a frame of another
    // width or spacing.
    static std::optional<IndicatorReading> InColumns(std::string_view frame) {
        constexpr std::size_t kWidth = 15;
        if (frame.size() != kWidth || frame[8] != ' ' || frame[11] != ' ' ||
            frame.substr(13) != "  ") {
            return std::nullopt;
        }
        const char motion = frame[7];
        const char mode = frame[12];
        const std::string_view unit = TrimBlanks(frame.substr(9, 2));
        const std::string_view digits = frame.substr(1, 6);
        if ((motion != 'm' && motion != ' ') || (mode != 'g' && mode != 'n') ||
            !IsKnownUnit(unit) ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return IsDigit(c); })) {
            return Marked(Kind::kNotAWeight);
        }
        return InUnit(Signed(frame[0], digits, motion == 'm'), unit);
    }
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
        frame = frame.substr(1);
        while (!frame.empty() && (frame.back() == '\r' || frame.back() == '\n')) {
            frame.remove_suffix(1);  // an ending some indicators add
        }
        frame = TrimBlanks(frame);
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

}  // namespace

std::unique_ptr<IndicatorFormat> MakeStxStatus() {
    return std::make_unique<StxStatus>();
}

std::unique_ptr<IndicatorFormat> MakeStxPolarity() {
    return std::make_unique<StxPolarity>();
}

std::unique_ptr<IndicatorFormat> MakeStxEtx() {
    return std::make_unique<StxEtx>();
}

std::unique_ptr<IndicatorFormat> MakeCrEtx() {
    return std::make_unique<CrEtx>();
}

std::unique_ptr<IndicatorFormat> MakeEqualsFrame(bool reversed) {
    return std::make_unique<EqualsFrame>(reversed);
}

}  // namespace station::preset
