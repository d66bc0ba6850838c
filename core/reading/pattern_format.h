#pragma once

#include <memory>
#include <string>

#include "core/reading/indicator_format.h"

namespace re2 {
class RE2;
}

namespace station {

// Why a pattern cannot be used, as a kind (for words in any language) and RE2's own text.
struct PatternProblem {
    enum class Kind { kNone, kDoesNotCompile, kNoWeightGroup, kTooManyGroups };
    Kind kind = Kind::kNone;
    std::string detail;  // RE2's error, for kDoesNotCompile

    // In English, for the transmission log: "does not compile: missing ): ...".
    std::string Text() const;
};

// The installer's pattern: a regular expression searched in each frame, its bytes matched as
// Latin-1 (the station's code page is 8-bit, not UTF-8), with named groups "weight" (required),
// "sign" (a '-' in it makes the weight negative), "unit" (one to five letters, blanks around
// them aside; kilograms where the pattern has none), and "motion", "over" and "under", each set
// when its group took part in the match. A frame that does not match is not a weight. Matching
// takes time linear in the frame, whatever the pattern: no line can stall the station.
class PatternFormat final : public IndicatorFormat {
public:
    // nullptr, with `problem` saying why, when the pattern does not compile or lacks "weight".
    static std::unique_ptr<PatternFormat> Make(const std::string& pattern, PatternProblem& problem);
    static constexpr int kMaxGroups = 32;
    ~PatternFormat() override;

    IndicatorReading Read(std::string_view frame) const override;

private:
    PatternFormat() = default;

    std::unique_ptr<re2::RE2> expression_;
    int weight_ = 0;  // group numbers; 0 where the pattern has no such group
    int sign_ = 0;
    int unit_ = 0;
    int motion_ = 0;
    int over_ = 0;
    int under_ = 0;
    int groups_ = 0;  // how many groups a match fills
};

}  // namespace station
