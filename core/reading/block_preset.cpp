// The preset of blocks of several lines (gross, tare, net).
#include <algorithm>
#include <array>

#include "core/reading/frame_fields.h"
#include "core/reading/preset_formats.h"
#include "core/reading/preset_readings.h"
#include "core/text/ascii.h"

namespace station::preset {
namespace {

using Kind = IndicatorReading::Kind;

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

}  // namespace

std::unique_ptr<IndicatorFormat> MakeBlock() {
    return std::make_unique<Block>();
}

}  // namespace station::preset
