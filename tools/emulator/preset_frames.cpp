// One builder per preset layout, each writing the frame as the indicators' manuals show it, with
// the variants the family's indicators send.
#include "tools/emulator/preset_frames.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>

namespace emulator {
namespace {

constexpr char kStx = 2;
constexpr char kEtx = 3;

struct Weight {
    std::int64_t tenths;
    bool moving;
    bool over;
    std::string unit;  // kg, g, t, lb or oz ("lb:oz" only where the layout has it)
    int variant;       // of the family's layouts; -1: as the fill chooses

    // Out of range below: the layout's under mark where it has one.
    bool Under() const { return over && tenths < 0; }

    // Which of `count` variants the frame takes.
    unsigned Variant(FrameFill& fill, unsigned count) const {
        return variant >= 0 ? static_cast<unsigned>(variant) % count : fill.Next(count);
    }
};

using Builder = std::function<PresetFrame(Weight, FrameFill&)>;

// The pieces one after the other. A text that starts with a literal is built so: GCC 12 at -O3
// takes a literal + string for an overlapping copy and warns.
template <typename... Pieces>
std::string Cat(const Pieces&... pieces) {
    std::string joined;
    (joined.append(pieces), ...);
    return joined;
}

// "[-]digits.d"
std::string Decimal(std::int64_t tenths) {
    const std::int64_t magnitude = std::llabs(tenths);
    return Cat(tenths < 0 ? "-" : "", std::to_string(magnitude / 10), ".",
               std::to_string(magnitude % 10));
}

std::string Magnitude(std::int64_t tenths) {
    return Decimal(std::llabs(tenths));
}

std::string Justified(const std::string& text, std::size_t width, char pad = ' ') {
    return text.size() >= width ? text : std::string(width - text.size(), pad) + text;
}

std::string Digits(FrameFill& fill, int count) {
    std::string digits;
    for (int i = 0; i < count; ++i) {
        digits.push_back(static_cast<char>('0' + fill.Next(10)));
    }
    return digits;
}

char OneOf(FrameFill& fill, std::string_view choices) {
    return choices[fill.Next(static_cast<unsigned>(choices.size()))];
}

std::string Hex2(unsigned value) {
    std::array<char, 3> hex{};
    std::snprintf(hex.data(), hex.size(), "%02X", value & 0xFFU);
    return hex.data();
}

unsigned Xor(std::string_view bytes) {
    unsigned sum = 0;
    for (const char c : bytes) {
        sum ^= static_cast<unsigned char>(c);
    }
    return sum;
}

// The tenths cut to what `limit` tenths leave, the sign kept, in layouts without an over mark.
std::int64_t Within(std::int64_t tenths, std::int64_t limit) {
    return tenths % limit;
}

// The tenths where `limit` tenths hold them; otherwise over range, which the layout marks.
std::int64_t Fitted(Weight& w, std::int64_t limit) {
    if (w.tenths <= -limit || w.tenths >= limit) {
        w.over = true;
        return 0;
    }
    return w.tenths;
}

PresetFrame Carrying(std::string bytes, std::int64_t tenths, std::string unit = {}) {
    return {std::move(bytes), Decimal(tenths), false, std::move(unit), false};
}

PresetFrame Over(std::string bytes) {
    return {std::move(bytes), "", true, "", false};
}

// Out of range as `w` is: its under mark, or its over mark.
PresetFrame OutOfRange(std::string bytes, const Weight& w) {
    return {std::move(bytes), "", !w.Under(), "", w.Under()};
}

// STX, A (one decimal), B (negative, over, motion, kilograms), C (another unit), six digits, a
// tare perhaps, CR, and the checksum byte or a line feed perhaps; a checksum that would read as
// STX is avoided through C's print-request bit, which the station does not read.
PresetFrame StxStatus(Weight w, FrameFill& fill) {
    const std::int64_t tenths = Fitted(w, 1000000);
    std::string digits = Justified(std::to_string(std::llabs(tenths)), 6, '0');
    if (fill.Next(2) == 1) {
        const std::size_t first = std::min(digits.find_first_not_of('0'), digits.size() - 1);
        std::fill_n(digits.begin(), first, ' ');
    }
    const bool kilograms = w.unit == "kg";
    const unsigned other_unit = w.unit == "g" ? 1 : w.unit == "t" ? 2 : w.unit == "oz" ? 3 : 0;
    const char b = static_cast<char>(0x20 | (kilograms ? 0x10 : 0) | (w.tenths < 0 ? 2 : 0) |
                                     (w.over ? 4 : 0) | (w.moving ? 8 : 0));
    const std::string tare = fill.Next(2) == 1 ? Digits(fill, 6) : "";
    const unsigned ending = fill.Next(3);  // the checksum, nothing, or a line feed
    for (const unsigned print : {0U, 8U}) {
        std::string frame{kStx, '3', b, static_cast<char>(0x20U | print | other_unit)};
        frame.append(digits).append(tare).append(1, '\r');
        unsigned sum = 0;
        for (const char byte : frame) {
            sum += static_cast<unsigned char>(byte);
        }
        const char check = static_cast<char>((0U - sum) & 0x7FU);
        if (ending == 0 && check == kStx) {
            continue;
        }
        const std::string bytes = ending == 0 ? frame + check : ending == 2 ? frame + "\n" : frame;
        return w.over ? OutOfRange(bytes, w) : Carrying(bytes, tenths, w.unit);
    }
    return {};  // not reached: the two checksums differ by eight
}

// [address,]status[,mode],weight with its unit; the unit in a field of its own; the mode, blanks
// and the weight; a scale's number, gross and tare; gross, then TR or PT and the tare.
PresetFrame CsvStatus(Weight w, FrameFill& fill) {
    const std::int64_t tenths = Fitted(w, 1000000);
    const std::string status = w.Under() ? "UL" : w.over ? "OL" : w.moving ? "US" : "ST";
    const auto signed_field = [](std::int64_t value) {
        return Cat(value < 0 ? "-" : "+", Justified(Magnitude(value), 8, '0'));
    };
    const std::string address =
        std::array<std::string, 3>{"", Digits(fill, 2) + ",", Digits(fill, 2)}[fill.Next(3)];
    const std::string mode = std::array<std::string, 4>{"GS", "NT", "G", "N"}[fill.Next(4)];
    const std::int64_t tare = std::stoll(Digits(fill, 4));
    const std::string& u = w.unit;
    std::string frame = address + status + ",";
    switch (w.Variant(fill, 6)) {
        case 0:
            frame += mode + "," + signed_field(tenths) + u;
            break;
        case 1:
            frame += mode + "," + signed_field(tenths) + "," + u;
            break;
        case 2:
            frame += (mode.size() == 2 ? mode : "GS") + "    " + Decimal(tenths) + " " + u;
            break;
        case 3:
            frame += Digits(fill, 1) + "," + signed_field(tenths + tare) + u + "," +
                     signed_field(tare) + u;
            break;
        case 4:  // the sign straight after the mode, blanks before the digits
            frame += (mode.size() == 2 ? mode : "NT") + (tenths < 0 ? "-" : "+") +
                     Justified(Magnitude(tenths), 9) + " " + u;
            break;
        default: {
            // A net weight is sent as it is; a gross less the tare after it.
            const bool net = mode.starts_with('N');
            const std::string label =
                std::array<std::string, 4>{"TR", "PT", "T", "TW"}[fill.Next(4)];
            frame += mode + "," + signed_field(net ? tenths : tenths + tare) + u + "," + label +
                     "," + signed_field(tare) + u;
        }
    }
    frame += "\r\n";
    return w.over ? OutOfRange(frame, w) : Carrying(frame, tenths, u);
}

// "S S" stable or "S D" moving, the weight and its unit; or pounds and ounces, read in pounds.
PresetFrame LetterStatus(Weight w, FrameFill& fill) {
    if (w.over) {
        return OutOfRange(w.Under() ? "S -\r\n" : "S +\r\n", w);
    }
    const std::string head = std::string("S ") + (w.moving ? 'D' : 'S') + " ";
    if (w.unit != "lb:oz") {
        return Carrying(head + Justified(Decimal(w.tenths), 10) + " " + w.unit + "\r\n", w.tenths,
                        w.unit);
    }
    const unsigned variant = 1 + w.Variant(fill, 2);
    const std::int64_t pounds = std::llabs(w.tenths) / 10 % 1000000;
    const unsigned ounce_tenths = fill.Next(160);
    const std::string ounces =
        std::to_string(ounce_tenths / 10) + "." + std::to_string(ounce_tenths % 10);
    const std::string sign = w.tenths < 0 ? "-" : "";
    const std::string text = variant == 1 ? head + "  " + sign + std::to_string(pounds) + " lb " +
                                                Justified(ounces, 4) + " oz\r\n"
                                          : head + sign + std::to_string(pounds) + ":" +
                                                Justified(ounces, 4, '0') + " lb:oz\r\n";
    // An ounce a tenth at a time is 0.00625 lb: five decimals.
    const std::int64_t units = pounds * 100000 + std::int64_t{ounce_tenths} * 625;
    const std::string fraction = Justified(std::to_string(units % 100000), 5, '0');
    return {text, sign + std::to_string(units / 100000) + "." + fraction, false, "lb", false};
}

// LF, status, range digit, G/N, motion, a spare column, ten columns of weight, unit, CR.
PresetFrame LfRange(Weight w, FrameFill& fill) {
    const std::int64_t tenths = Fitted(w, 100000000);
    const std::string frame = std::string("\n") +
                              (w.Under() ? 'U'
                               : w.over  ? 'O'
                                         : OneOf(fill, " Z")) +
                              Digits(fill, 1) + OneOf(fill, "GN") + (w.moving ? 'M' : ' ') +
                              Digits(fill, 1) + Justified(Decimal(tenths), 10) + w.unit + "\r";
    return w.over ? OutOfRange(frame, w) : Carrying(frame, tenths, w.unit);
}

// The letter of a unit in the layouts that write one letter for it.
char UnitLetter(const std::string& unit) {
    return unit == "lb" ? 'L' : unit == "g" ? 'G' : unit == "t" ? 'T' : unit == "oz" ? 'O' : 'K';
}

// STX, polarity, seven columns of weight, unit letter, G/N, status letter, CR LF.
PresetFrame StxPolarity(Weight w, FrameFill& fill) {
    const std::int64_t tenths = Fitted(w, 1000000);
    const char polarity = tenths < 0 ? '-' : OneOf(fill, " +");
    const char status = w.over ? 'O' : w.moving ? 'M' : OneOf(fill, " C");
    const std::string frame = std::string(1, kStx) + polarity + Justified(Magnitude(tenths), 7) +
                              UnitLetter(w.unit) + OneOf(fill, "GN") + status + "\r\n";
    return w.over ? Over(frame) : Carrying(frame, tenths, w.unit);
}

// Sign, the weight in seven columns, unit, G/N, two status letters, CR.
PresetFrame Sign6Status(Weight w, FrameFill& fill) {
    const std::int64_t tenths = Fitted(w, 1000000);
    const std::string status = w.over ? "OC" : w.moving ? "MO" : fill.Next(2) == 0 ? "  " : "CZ";
    const std::string frame = std::string(tenths < 0 ? "-" : "+") +
                              Justified(Magnitude(tenths), 7, '0') + w.unit + OneOf(fill, "GN") +
                              status + "\r";
    return w.over ? Over(frame) : Carrying(frame, tenths, w.unit);
}

// 'W', G/N, seven columns of weight ("OL" over), unit, the XOR of what came before, CR LF.
PresetFrame WChecksum(Weight w, FrameFill& fill) {
    const std::int64_t tenths = Fitted(w, 1000000);
    const std::string body = std::string("W") + OneOf(fill, "GN") +
                             Justified(w.Under() ? "LO"
                                       : w.over  ? "OL"
                                                 : Decimal(tenths),
                                       7) +
                             w.unit;
    const std::string frame = body + Hex2(Xor(body)) + "\r\n";
    return w.over ? OutOfRange(frame, w) : Carrying(frame, tenths, w.unit);
}

// A right-justified weight and unit with '?' after it while moving, perhaps with a legend or the
// time of day after them; or a marker and a sign column, perhaps after the echo of the command
// that asked.
PresetFrame Marker(Weight w, FrameFill& fill) {
    const std::int64_t tenths = Fitted(w, 100000000);
    const unsigned variant = w.over ? 1 + w.Variant(fill, 2) : w.Variant(fill, 4);
    if (variant == 0 || variant == 3) {
        const std::string after = variant == 0 ? ""
                                               : std::array<std::string, 3>{
                                                     " G", " NET",
                                                     Cat(" ", Digits(fill, 2), ":", Digits(fill, 2),
                                                         ":", Digits(fill, 2))}[fill.Next(3)];
        return Carrying(
            Justified(Decimal(tenths), 10) + " " + w.unit + (w.moving ? " ?" : "") + after + "\r\n",
            tenths, w.unit);
    }
    const char marker = w.Under() ? 'v' : w.over ? '^' : w.moving ? '?' : ' ';
    const std::string columns = std::string(1, marker) + (tenths < 0 ? '-' : ' ') +
                                Justified(Magnitude(tenths), 9) + " " + w.unit + " \r\n";
    const std::string echo =
        variant == 2 ? std::array<std::string, 4>{"S ", "SI ", "SU ", "SUI "}[fill.Next(4)] : "";
    return w.over ? OutOfRange(echo + columns, w) : Carrying(echo + columns, tenths, w.unit);
}

// Sign, blank, eight columns of weight, blank, unit in three columns (blank while moving), after
// an identifier of six columns, a shorter one, or none; or the last digit in brackets.
PresetFrame IdLine(Weight w, FrameFill& fill) {
    if (w.over) {
        return OutOfRange(w.Under() ? "L\r\n" : "H\r\n", w);
    }
    const std::int64_t tenths = Within(w.tenths, 10000000);
    const char sign = tenths < 0 ? '-' : OneOf(fill, "+ ");
    const std::string written = w.moving ? "" : w.unit;
    const std::string unit =
        Cat(written, std::string(3 - std::min<std::size_t>(written.size(), 3), ' '));
    const unsigned variant = w.Variant(fill, 4);
    if (variant == 3) {
        // Hundredths, the last of them not verified.
        const std::int64_t hundredths = std::llabs(tenths) * 10 + fill.Next(10);
        const std::string digits = std::to_string(hundredths / 100) + "." +
                                   Justified(std::to_string(hundredths % 100), 2, '0');
        const std::string bracketed =
            digits.substr(0, digits.size() - 1) + "[" + digits.back() + "]";
        return {std::string(1, sign) + " " + Justified(bracketed, 10) + " " + unit + "\r\n",
                (tenths < 0 ? "-" : "") + digits, false, written, false};
    }
    const std::string line =
        std::string(1, sign) + " " + Justified(Magnitude(tenths), 8) + " " + unit;
    std::string id;
    if (variant == 1) {
        id = Digits(fill, 6);
    } else if (variant == 2) {
        id = std::string(1, static_cast<char>('A' + fill.Next(26))) +
             (fill.Next(2) == 0 ? Digits(fill, 1) : "");
        id += fill.Next(2) == 0 ? std::string(6 - id.size(), ' ') : " ";
    }
    return Carrying(id + line + "\r\n", tenths, written);
}

// '$', status digit, five digits; or '$', net, tare, unit and four hex status characters.
// Over range it sends status 3, invalid.
PresetFrame Dollar(Weight w, FrameFill& fill) {
    if (w.over) {
        return {Cat("$3", Digits(fill, 5), "\r\n"), "", false, "", false};
    }
    if (w.tenths >= 0 && w.Variant(fill, 2) == 0) {
        const std::int64_t whole = (w.tenths + 5) / 10 % 100000;
        return {Cat("$", w.moving ? "1" : "0", Justified(std::to_string(whole), 5, '0'), "\r\n"),
                std::to_string(whole), false, "", false};
    }
    const std::int64_t tenths = Within(w.tenths, 10000000);
    std::string status;
    for (int i = 0; i < 4; ++i) {
        status.push_back(OneOf(fill, "0123456789ABCDEF"));
    }
    return Carrying(
        Cat("$", Justified(Decimal(tenths), 9), " ",
            Justified(Decimal(std::stoll(Digits(fill, 4))), 7), " ", w.unit, " ", status, "\r\n"),
        tenths, w.unit);
}

// STX, the weight and unit, CR; or STX, '?', a status byte (bit 1 over, bit 2 under) when
// withheld.
PresetFrame Polled(Weight w, FrameFill& /*fill*/) {
    if (w.over) {
        return OutOfRange(std::string(1, kStx) + "?" +
                              static_cast<char>((w.Under() ? 0x34 : 0x32) | (w.moving ? 1 : 0)) +
                              "\r",
                          w);
    }
    return Carrying(std::string(1, kStx) + Justified(Decimal(w.tenths), 8) + w.unit + "\r",
                    w.tenths, w.unit);
}

// '=' and the weight in eight columns, the sign in the highest, reversed or forward; no end but
// the next frame's '='.
PresetFrame Equals(Weight w, bool reversed) {
    const std::int64_t tenths = Within(w.tenths, w.tenths < 0 ? 1000000 : 10000000);
    std::string text = Justified(Magnitude(tenths), 8, '0');
    if (tenths < 0) {
        text.front() = '-';
    }
    if (reversed) {
        std::reverse(text.begin(), text.end());
    }
    return Carrying("=" + text, tenths);
}

// STX, sign, six digits, the count of decimals, XOR, ETX; or STX, sign, seven columns of
// weight, status letter, ETX; a CR LF after it perhaps.
PresetFrame StxEtx(Weight w, FrameFill& fill) {
    const std::int64_t tenths = Fitted(w, 1000000);
    const char sign = tenths < 0 ? '-' : '+';
    const std::string after = fill.Next(2) == 0 ? "" : "\r\n";
    if (!w.over && fill.Next(2) == 0) {
        const std::string body =
            std::string(1, sign) + Justified(std::to_string(std::llabs(tenths)), 6, '0') + "1";
        return Carrying(std::string(1, kStx) + body + Hex2(Xor(body)) + kEtx + after, tenths);
    }
    const char status = w.Under() ? 'U' : w.over ? 'O' : w.moving ? 'M' : OneOf(fill, "GN");
    const std::string frame =
        std::string(1, kStx) + sign + Justified(Magnitude(tenths), 7) + status + kEtx + after;
    return w.over ? OutOfRange(frame, w) : Carrying(frame, tenths);
}

// CR, polarity, the weight in as many columns as it takes, status, unit in two columns, G/N,
// ETX; or the column layout: CR, sign, six digits of whole units, motion ('m' or blank), blank,
// unit in two columns, blank, mode ('g' or 'n'), two blanks, ETX, without an over-range mark.
PresetFrame CrEtx(Weight w, FrameFill& fill) {
    const std::string unit = w.unit.size() == 1 ? w.unit + " " : w.unit;
    if (w.Variant(fill, 2) == 1) {
        const std::int64_t units = Within(w.tenths, 10000000) / 10;
        const std::string frame =
            Cat("\r", units < 0 ? "-" : "+", Justified(std::to_string(std::llabs(units)), 6, '0'),
                w.moving ? "m " : "  ", unit, " ", std::string(1, OneOf(fill, "gn")), "  \x03");
        return Carrying(frame, units * 10, w.unit);
    }
    const std::int64_t tenths = Fitted(w, 100000000);
    const char polarity = tenths < 0 ? '-' : OneOf(fill, "+ ");
    const char status = w.Under() ? 'U' : w.over ? 'O' : w.moving ? 'M' : ' ';
    const std::string frame = std::string("\r") + polarity +
                              Justified(Magnitude(tenths), 6 + fill.Next(4)) + status + unit +
                              OneOf(fill, "GNgn") + kEtx;
    return w.over ? OutOfRange(frame, w) : Carrying(frame, tenths, w.unit);
}

// Gross, net and tare lines, labelled before or after; a gross line alone (no tare taken);
// weight, number and total lines between blank lines, the weight labelled as such or as a
// gross; or unlabelled gross, net and tare lines, each ended by CR, the block by CR LF, whose
// line feed is written first here, so that a block alone shows where it begins. No over-range
// mark: the weight.
PresetFrame Block(Weight w, FrameFill& fill) {
    const std::int64_t net = Within(w.tenths, 100000000);
    const std::int64_t other = std::stoll(Digits(fill, 5));
    const std::string u = " " + w.unit;
    switch (w.Variant(fill, 6)) {
        case 5:
            return Carrying(
                Cat("\n", Justified(Decimal(net + other), 10), u, "\r", Justified(Decimal(net), 10),
                    u, "\r", Justified(Decimal(other), 10), u, "\r"),
                net, w.unit);
        case 0:
            return Carrying(Cat("G  ", Decimal(net + other), u, "\rT  ", Decimal(other), u, "\rN  ",
                                Decimal(net), u, "\r\n"),
                            net, w.unit);
        case 1:
            return Carrying(Justified(Decimal(net + other), 10) + u + " G\r" +
                                Justified(Decimal(net), 10) + u + (w.moving ? " ? N\r" : " N\r") +
                                Justified(Decimal(other), 10) + u + " T\r\n",
                            net, w.unit);
        case 2:
            return Carrying(Cat(fill.Next(2) == 0 ? "G  " : "GROSS  ", Decimal(net), u, "\r\n"),
                            net, w.unit);
        default:
            return Carrying(Cat(w.Variant(fill, 6) == 3 ? "Weight:  " : "GS  ", Decimal(net), u,
                                "\r\n\r\nNo.:  ", Digits(fill, 4),
                                "\r\n\r\nTotal:  ", Decimal(other), u, "\r\n\r\n"),
                            net, w.unit);
    }
}

const std::map<std::string_view, Builder>& Builders() {
    static const std::map<std::string_view, Builder> kBuilders{
        {"stx-status", StxStatus},
        {"csv-status", CsvStatus},
        {"letter-status", LetterStatus},
        {"lf-range", LfRange},
        {"stx-polarity", StxPolarity},
        {"marker", Marker},
        {"id-line", IdLine},
        {"dollar", Dollar},
        {"w-checksum", WChecksum},
        {"equals", [](Weight w, FrameFill&) { return Equals(w, true); }},
        {"equals-forward", [](Weight w, FrameFill&) { return Equals(w, false); }},
        {"stx-etx", StxEtx},
        {"block", Block},
        {"polled", Polled},
        {"cr-etx", CrEtx},
        {"sign6-status", Sign6Status},
    };
    return kBuilders;
}

}  // namespace

const std::vector<std::string_view>& PresetFrameNames() {
    static const std::vector<std::string_view> kNames = [] {
        std::vector<std::string_view> names;
        for (const auto& [name, builder] : Builders()) {
            names.push_back(name);
        }
        return names;
    }();
    return kNames;
}

PresetFrame MakePresetFrame(std::string_view preset, std::int64_t tenths, bool moving, bool over,
                            FrameFill& fill, std::string_view unit, int variant) {
    const auto found = Builders().find(preset);
    if (found == Builders().end()) {
        return {};
    }
    // Pounds and ounces where the layout writes them, pounds elsewhere.
    const std::string written =
        unit == "lb:oz" && preset != "letter-status" ? "lb" : std::string(unit);
    return found->second({tenths, moving, over, written, variant}, fill);
}

}  // namespace emulator
