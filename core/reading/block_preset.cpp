// The preset of blocks of several lines (gross, tare, net).
#include <algorithm>
#include <array>

#include "common/ascii.h"
#include "core/reading/frame_fields.h"
#include "core/reading/preset_formats.h"
#include "core/reading/preset_readings.h"

namespace station::preset {
namespace {

using Kind = IndicatorReading::Kind;

// A block of lines, each CR-ended and labelled, the label before the value ("NET: 10.00 kg") or
// after its unit ("10.00 kg N", perhaps with '?' while moving): gross, tare and net, of which
// the net is shown, the gross less the tare where the block has a tare and no net, or the gross
// where it has neither; or weight, number and total, of which the weight is shown. Or three
// unlabelled lines, gross, net and tare, each ended by CR alone and the block by CR LF, of which
// the net is shown. Other lines, blank ones too, change nothing. A block is whole at its net, or
// where the next begins (its gross, or a line after a line feed), and is shown then: never the
// gross of a block whose net is still to come. Until the scale's blocks have had a tare or a net,
// a gross is shown at once, as a scale sending grosses alone needs.
class Block final : public IndicatorFormat {
public:
    IndicatorReading Read(std::string_view frame) const override {
        bool starts_block = false;
        while (!frame.empty() && frame.front() == '\n') {
            frame.remove_prefix(1);
            starts_block = true;
        }
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
        // Labelled lines say where a block begins, whatever ends them; unlabelled ones have only
        // the line feed that ends their block.
        const bool labelled = !before.empty() || !after.empty();
        line_ = starts_block ? 0 : line_ + (line_ >= 0 ? 1 : 0);
        IndicatorReading ended = starts_block && !labelled ? EndBlock() : Nothing();
        if (number_at == line.size()) {
            return ended;
        }
        // A gross and a tare are kept as their text and read only where they are shown: in a
        // block with a net, never.
        const std::string_view field = line.substr(number_at, split.value.size() + unit_end);
        const std::optional<bool> motion = moving ? std::optional<bool>(true) : std::nullopt;
        switch (labelled ? RoleOf(Normalised(before.empty() ? after : before)) : RoleAt(line_)) {
            case Role::kGross: {
                IndicatorReading before_it = EndBlock();
                if (!before_it.changes_nothing) {
                    ended = std::move(before_it);
                }
                gross_.assign(field);
                gross_motion_ = motion;
                has_gross_ = true;
                if (net_follows_) {
                    return ended;
                }
                gross_shown_ = true;
                return WeightWithUnit(field, motion);
            }
            case Role::kTare:
                tare_.assign(field);
                has_tare_ = true;
                net_follows_ = true;
                // A gross shown at once is the net's no more.
                return gross_shown_ ? Netted() : ended;
            case Role::kShown:
                net_follows_ = true;
                has_gross_ = false;
                has_tare_ = false;
                gross_shown_ = false;
                return WeightWithUnit(field, motion);
            case Role::kNone:
                break;
        }
        return ended;
    }
    Framing FrameBy() const override { return {'\r', false, '\n'}; }

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
    enum class Role { kNone, kGross, kTare, kShown };

    static Role RoleOf(std::string_view label) {
        static constexpr std::string_view kGross[] = {"G",  "GS",   "GR",     "GROSS",
                                                      "GW", "GRWT", "BRUTTO", "GROSSWT"};
        static constexpr std::string_view kTare[] = {"T", "TR", "TW", "PT", "TARE", "TARA"};
        static constexpr std::string_view kShown[] = {
            "N", "NT", "NET", "NETT",   "NETTO", "NW",       "NETWT",
            "W", "WT", "WGT", "WEIGHT", "MASA",  "NETWEIGHT"};
        const auto in = [label](const auto& labels) {
            return std::find(std::begin(labels), std::end(labels), label) != std::end(labels);
        };
        return in(kGross)   ? Role::kGross
               : in(kTare)  ? Role::kTare
               : in(kShown) ? Role::kShown
                            : Role::kNone;
    }
    // Unlabelled lines by their place after the block's line feed: gross, net, tare.
    static Role RoleAt(int line) {
        switch (line) {
            case 0:
                return Role::kGross;
            case 1:
                return Role::kShown;
            case 2:
                return Role::kTare;
            default:
                return Role::kNone;
        }
    }
    static IndicatorReading Nothing() {
        IndicatorReading nothing;
        nothing.changes_nothing = true;
        return nothing;
    }
    // The gross less the tare, or no weight where either is none or the difference overflows.
    IndicatorReading Netted() const {
        IndicatorReading net = WeightWithUnit(gross_, gross_motion_);
        const IndicatorReading tare = WeightWithUnit(tare_, gross_motion_);
        std::optional<std::string> difference =
            net.kind == Kind::kWeight && tare.kind == Kind::kWeight
                ? Difference(net.weight, tare.weight)
                : std::nullopt;
        if (!difference) {
            return Marked(Kind::kNotAWeight, gross_motion_);
        }
        net.weight = std::move(*difference);
        return net;
    }
    // The block under way is whole: what it shows, unless shown already or it had no gross.
    IndicatorReading EndBlock() const {
        IndicatorReading shown = Nothing();
        if (has_gross_ && !gross_shown_) {
            shown = has_tare_ ? Netted() : WeightWithUnit(gross_, gross_motion_);
        }
        has_gross_ = false;
        has_tare_ = false;
        gross_shown_ = false;
        return shown;
    }

    // What the scale's blocks have shown so far: a reader serves one scale. The block under
    // way's gross and tare fields, as received.
    mutable std::string gross_;
    mutable std::string tare_;
    mutable std::optional<bool> gross_motion_;
    mutable bool has_gross_ = false;
    mutable bool has_tare_ = false;
    mutable bool gross_shown_ = false;  // shown at once, as blocks without a net are
    mutable bool net_follows_ = false;  // the scale's blocks have had a tare or a net
    mutable int line_ = -1;             // the line's place after the block's line feed, if seen
};

}  // namespace

std::unique_ptr<IndicatorFormat> MakeBlock() {
    return std::make_unique<Block>();
}

}  // namespace station::preset
