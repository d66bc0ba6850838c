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

// The tenths cut to what `limit` tenths leave, the sign kept.
std::int64_t Within(std::int64_t tenths, std::int64_t limit) {
    return tenths % limit;
}

PresetFrame Carrying(std::string bytes, std::int64_t tenths) {
    return {std::move(bytes), Decimal(tenths), false};
}

PresetFrame Over(std::string bytes) {
    return {std::move(bytes), "", true};
}

// STX, A (one decimal), B (negative, over, motion), C, six digits, a tare perhaps, CR, and the
// checksum byte perhaps; one that would read as STX is avoided through C, whose bits are spare.
PresetFrame StxStatus(Weight w, FrameFill& fill) {
    const std::int64_t tenths = Within(w.tenths, 1000000);
    std::string digits = Justified(std::to_string(std::llabs(tenths)), 6, '0');
    if (fill.Next(2) == 1) {
        const std::size_t first = std::min(digits.find_first_not_of('0'), digits.size() - 1);
        std::fill_n(digits.begin(), first, ' ');
    }
    const char b = static_cast<char>(0x30 | (tenths < 0 && !w.over ? 2 : 0) | (w.over ? 4 : 0) |
                                     (w.moving ? 8 : 0));
    const std::string tare = fill.Next(2) == 1 ? Digits(fill, 6) : "";
    const bool checksum = fill.Next(2) == 0;
    for (char c = '0';; ++c) {
        std::string frame{kStx, '3', b, c};
        frame.append(digits).append(tare).append(1, '\r');
        unsigned sum = 0;
        for (const char byte : frame) {
            sum += static_cast<unsigned char>(byte);
        }
        const char check = static_cast<char>((0U - sum) & 0x7FU);
        if (checksum && check == kStx) {
            continue;
        }
        const std::string bytes = checksum ? frame + check : frame;
        return w.over ? Over(bytes) : Carrying(bytes, tenths);
    }
}

// [address,]status[,mode],weight with its unit; the unit in a field of its own; the mode, blanks
// and the weight; a scale's number, gross and tare; gross, then TR or PT and the tare.
PresetFrame CsvStatus(Weight w, FrameFill& fill) {
    const std::int64_t tenths = Within(w.tenths, 1000000);
    const std::string status = w.over ? "OL" : w.moving ? "US" : "ST";
    const auto signed_field = [](std::int64_t value) {
        return Cat(value < 0 ? "-" : "+", Justified(Magnitude(value), 8, '0'));
    };
    const std::string address =
        std::array<std::string, 3>{"", Digits(fill, 2) + ",", Digits(fill, 2)}[fill.Next(3)];
    const std::string mode = std::array<std::string, 4>{"GS", "NT", "G", "N"}[fill.Next(4)];
    const std::int64_t tare = std::stoll(Digits(fill, 4));
    std::string frame = address + status + ",";
    switch (fill.Next(5)) {
        case 0:
            frame += mode + "," + signed_field(tenths) + "kg";
            break;
        case 1:
            frame += mode + "," + signed_field(tenths) + ",kg";
            break;
        case 2:
            frame += (mode.size() == 2 ? mode : "GS") + "    " + Decimal(tenths) + " kg";
            break;
        case 3:
            frame += Digits(fill, 1) + "," + signed_field(tenths + tare) + "kg," +
                     signed_field(tare) + "kg";
            break;
        default: {
            // A net weight is sent as it is; a gross less the tare after it.
            const bool net = mode.starts_with('N');
            const std::string label =
                std::array<std::string, 4>{"TR", "PT", "T", "TW"}[fill.Next(4)];
            frame += mode + "," + signed_field(net ? tenths : tenths + tare) + "kg," + label + "," +
                     signed_field(tare) + "kg";
        }
    }
    frame += "\r\n";
    return w.over ? Over(frame) : Carrying(frame, tenths);
}

// "S S" stable or "S D" moving, the weight and its unit; or pounds and ounces, read in pounds.
PresetFrame LetterStatus(Weight w, FrameFill& fill) {
    if (w.over) {
        return Over("S +\r\n");
    }
    const std::string head = std::string("S ") + (w.moving ? 'D' : 'S') + " ";
    const unsigned variant = fill.Next(3);
    if (variant == 0) {
        return Carrying(head + Justified(Decimal(w.tenths), 10) + " kg\r\n", w.tenths);
    }
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
    return {text, sign + std::to_string(units / 100000) + "." + fraction, false};
}

// LF, status, range digit, G/N, motion, a spare column, ten columns of weight, unit, CR.
PresetFrame LfRange(Weight w, FrameFill& fill) {
    const std::int64_t tenths = Within(w.tenths, 100000000);
    const std::string frame = std::string("\n") + (w.over ? 'O' : OneOf(fill, " Z")) +
                              Digits(fill, 1) + OneOf(fill, "GN") + (w.moving ? 'M' : ' ') +
                              Digits(fill, 1) + Justified(Decimal(tenths), 10) + "kg\r";
    return w.over ? Over(frame) : Carrying(frame, tenths);
}

// STX, polarity, seven columns of weight, unit letter, G/N, status letter, CR LF.
PresetFrame StxPolarity(Weight w, FrameFill& fill) {
    const std::int64_t tenths = Within(w.tenths, 1000000);
    const char polarity = tenths < 0 ? '-' : OneOf(fill, " +");
    const char status = w.over ? 'O' : w.moving ? 'M' : OneOf(fill, " C");
    const std::string frame = std::string(1, kStx) + polarity + Justified(Magnitude(tenths), 7) +
                              OneOf(fill, "KL") + OneOf(fill, "GN") + status + "\r\n";
    return w.over ? Over(frame) : Carrying(frame, tenths);
}

// Sign, the weight in seven columns, unit, G/N, two status letters, CR.
PresetFrame Sign6Status(Weight w, FrameFill& fill) {
    const std::int64_t tenths = Within(w.tenths, 1000000);
    const std::string status = w.over ? "OC" : w.moving ? "MO" : fill.Next(2) == 0 ? "  " : "CZ";
    const std::string frame = std::string(tenths < 0 ? "-" : "+") +
                              Justified(Magnitude(tenths), 7, '0') + "kg" + OneOf(fill, "GN") +
                              status + "\r";
    return w.over ? Over(frame) : Carrying(frame, tenths);
}

// 'W', G/N, seven columns of weight ("OL" over), unit, the XOR of what came before, CR LF.
PresetFrame WChecksum(Weight w, FrameFill& fill) {
    const std::int64_t tenths = Within(w.tenths, 1000000);
    const std::string body =
        std::string("W") + OneOf(fill, "GN") + Justified(w.over ? "OL" : Decimal(tenths), 7) + "kg";
    const std::string frame = body + Hex2(Xor(body)) + "\r\n";
    return w.over ? Over(frame) : Carrying(frame, tenths);
}

// A right-justified weight and unit with '?' after it while moving; or a marker and a sign
// column, perhaps after the echo of the command that asked.
PresetFrame Marker(Weight w, FrameFill& fill) {
    const std::int64_t tenths = Within(w.tenths, 100000000);
    const unsigned variant = w.over ? 1 + fill.Next(2) : fill.Next(3);
    if (variant == 0) {
        return Carrying(Justified(Decimal(tenths), 10) + " kg" + (w.moving ? " ?" : "") + "\r\n",
                        tenths);
    }
    const char marker = w.over ? '^' : w.moving ? '?' : ' ';
    const std::string columns = std::string(1, marker) + (tenths < 0 ? '-' : ' ') +
                                Justified(Magnitude(tenths), 9) + " kg \r\n";
    const std::string echo =
        variant == 2 ? std::array<std::string, 4>{"S ", "SI ", "SU ", "SUI "}[fill.Next(4)] : "";
    return w.over ? Over(echo + columns) : Carrying(echo + columns, tenths);
}

// Sign, blank, eight columns of weight, blank, unit in three columns (blank while moving), after
// an identifier of six columns, a shorter one, or none; or the last digit in brackets.
PresetFrame IdLine(Weight w, FrameFill& fill) {
    if (w.over) {
        return Over("H\r\n");
    }
    const std::int64_t tenths = Within(w.tenths, 10000000);
    const char sign = tenths < 0 ? '-' : OneOf(fill, "+ ");
    const std::string unit = w.moving ? "   " : "kg ";
    const unsigned variant = fill.Next(4);
    if (variant == 3) {
        // Hundredths, the last of them not verified.
        const std::int64_t hundredths = std::llabs(tenths) * 10 + fill.Next(10);
        const std::string digits = std::to_string(hundredths / 100) + "." +
                                   Justified(std::to_string(hundredths % 100), 2, '0');
        const std::string bracketed =
            digits.substr(0, digits.size() - 1) + "[" + digits.back() + "]";
        return {std::string(1, sign) + " " + Justified(bracketed, 10) + " " + unit + "\r\n",
                (tenths < 0 ? "-" : "") + digits, false};
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
    return Carrying(id + line + "\r\n", tenths);
}

// '$', status digit, five digits; or '$', net, tare, unit and four hex status characters.
// Over range it sends status 3, invalid.
PresetFrame Dollar(Weight w, FrameFill& fill) {
    if (w.over) {
        return {Cat("$3", Digits(fill, 5), "\r\n"), "", false};
    }
    if (w.tenths >= 0 && fill.Next(2) == 0) {
        const std::int64_t whole = (w.tenths + 5) / 10 % 100000;
        return {Cat("$", w.moving ? "1" : "0", Justified(std::to_string(whole), 5, '0'), "\r\n"),
                std::to_string(whole), false};
    }
    const std::int64_t tenths = Within(w.tenths, 10000000);
    std::string status;
    for (int i = 0; i < 4; ++i) {
        status.push_back(OneOf(fill, "0123456789ABCDEF"));
    }
    return Carrying(Cat("$", Justified(Decimal(tenths), 9), " ",
                        Justified(Decimal(std::stoll(Digits(fill, 4))), 7), " kg ", status, "\r\n"),
                    tenths);
}

// STX, the weight and unit, CR; or STX, '?', a status byte (bit 1 over) when withheld.
PresetFrame Polled(Weight w, FrameFill& fill) {
    if (w.over) {
        return Over(std::string(1, kStx) + "?" + static_cast<char>(0x32 | (w.moving ? 1 : 0)) +
                    "\r");
    }
    return Carrying(std::string(1, kStx) + Justified(Decimal(w.tenths), 8) +
                        (fill.Next(2) == 0 ? "kg" : "lb") + "\r",
                    w.tenths);
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
    const std::int64_t tenths = Within(w.tenths, 1000000);
    const char sign = tenths < 0 ? '-' : '+';
    const std::string after = fill.Next(2) == 0 ? "" : "\r\n";
    if (!w.over && fill.Next(2) == 0) {
        const std::string body =
            std::string(1, sign) + Justified(std::to_string(std::llabs(tenths)), 6, '0') + "1";
        return Carrying(std::string(1, kStx) + body + Hex2(Xor(body)) + kEtx + after, tenths);
    }
    const char status = w.over ? 'O' : w.moving ? 'M' : OneOf(fill, "GN");
    const std::string frame =
        std::string(1, kStx) + sign + Justified(Magnitude(tenths), 7) + status + kEtx + after;
    return w.over ? Over(frame) : Carrying(frame, tenths);
}

// CR, polarity, the weight in as many columns as it takes, status, unit in two columns, G/N,
// ETX.
PresetFrame CrEtx(Weight w, FrameFill& fill) {
    const std::int64_t tenths = Within(w.tenths, 100000000);
    const char polarity = tenths < 0 ? '-' : OneOf(fill, "+ ");
    const char status = w.over ? 'O' : w.moving ? 'M' : ' ';
    const std::string unit = std::array<std::string, 4>{"kg", "g ", "lb", "t "}[fill.Next(4)];
    const std::string frame = std::string("\r") + polarity +
                              Justified(Magnitude(tenths), 6 + fill.Next(4)) + status + unit +
                              OneOf(fill, "GNgn") + kEtx;
    return w.over ? Over(frame) : Carrying(frame, tenths);
}

// Gross, net and tare lines, labelled before or after; or weight, number and total lines
// between blank lines. No over-range mark: the weight.
PresetFrame Block(Weight w, FrameFill& fill) {
    const std::int64_t net = Within(w.tenths, 100000000);
    const std::int64_t other = std::stoll(Digits(fill, 5));
    switch (fill.Next(3)) {
        case 0:
            return Carrying(Cat("G  ", Decimal(net + other), " kg\rT  ", Decimal(other), " kg\rN  ",
                                Decimal(net), " kg\r\n"),
                            net);
        case 1:
            return Carrying(Justified(Decimal(net + other), 10) + " kg G\r" +
                                Justified(Decimal(net), 10) + (w.moving ? " kg ? N\r" : " kg N\r") +
                                Justified(Decimal(other), 10) + " kg T\r\n",
                            net);
        default:
            return Carrying(Cat("Weight:  ", Decimal(net), " kg\r\n\r\nNo.:  ", Digits(fill, 4),
                                "\r\n\r\nTotal:  ", Decimal(other), " kg\r\n\r\n"),
                            net);
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
                            FrameFill& fill) {
    const auto found = Builders().find(preset);
    return found == Builders().end() ? PresetFrame{} : found->second({tenths, moving, over}, fill);
}

}  // namespace emulator
