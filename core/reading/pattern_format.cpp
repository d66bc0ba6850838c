#include "core/reading/pattern_format.h"

#include <re2/re2.h>

#include <algorithm>
#include <array>

#include "core/reading/frame_fields.h"

namespace station {

std::string PatternProblem::Text() const {
    switch (kind) {
        case Kind::kDoesNotCompile:
            return "does not compile: " + detail;
        case Kind::kNoWeightGroup:
            return "has no group (?P<weight>...)";
        case Kind::kTooManyGroups:
            return "has more than " + std::to_string(PatternFormat::kMaxGroups - 1) +
                   " groups before its last named one";
        case Kind::kNone:
            break;
    }
    return {};
}

std::unique_ptr<PatternFormat> PatternFormat::Make(const std::string& pattern,
                                                   PatternProblem& problem) {
    RE2::Options options;
    options.set_encoding(RE2::Options::EncodingLatin1);
    options.set_log_errors(false);
    auto expression = std::make_unique<re2::RE2>(pattern, options);
    if (!expression->ok()) {
        problem = {PatternProblem::Kind::kDoesNotCompile, expression->error()};
        return nullptr;
    }
    const std::map<std::string, int>& named = expression->NamedCapturingGroups();
    const auto group = [&](const char* name) {
        const auto found = named.find(name);
        return found == named.end() ? 0 : found->second;
    };
    std::unique_ptr<PatternFormat> format(new PatternFormat);
    format->weight_ = group("weight");
    format->sign_ = group("sign");
    format->unit_ = group("unit");
    format->motion_ = group("motion");
    format->over_ = group("over");
    format->under_ = group("under");
    if (format->weight_ == 0) {
        problem = {PatternProblem::Kind::kNoWeightGroup, {}};
        return nullptr;
    }
    format->groups_ = 1 + std::max({format->weight_, format->sign_, format->unit_, format->motion_,
                                    format->over_, format->under_});
    if (format->groups_ > kMaxGroups) {
        problem = {PatternProblem::Kind::kTooManyGroups, {}};
        return nullptr;
    }
    format->expression_ = std::move(expression);
    return format;
}

PatternFormat::~PatternFormat() = default;

IndicatorReading PatternFormat::Read(std::string_view frame) const {
    std::array<re2::StringPiece, kMaxGroups> groups;
    IndicatorReading reading;
    if (!expression_->Match(re2::StringPiece(frame.data(), frame.size()), 0, frame.size(),
                            RE2::UNANCHORED, groups.data(), groups_)) {
        return reading;
    }
    const auto took_part = [&](int group) {
        return group != 0 && groups[static_cast<std::size_t>(group)].data() != nullptr;
    };
    if (motion_ != 0) {
        reading.motion = took_part(motion_);
    }
    if (took_part(over_)) {
        reading.kind = IndicatorReading::Kind::kOver;
        return reading;
    }
    if (took_part(under_)) {
        reading.kind = IndicatorReading::Kind::kUnder;
        return reading;
    }
    const re2::StringPiece weight = groups[static_cast<std::size_t>(weight_)];
    std::optional<std::string> value =
        SignedDecimal(std::string_view(weight.data(), weight.size()));
    if (!value) {
        return reading;
    }
    const re2::StringPiece sign =
        took_part(sign_) ? groups[static_cast<std::size_t>(sign_)] : re2::StringPiece();
    if (std::string_view(sign.data(), sign.size()).find('-') != std::string_view::npos) {
        MakeNegative(*value);
    }
    reading.kind = IndicatorReading::Kind::kWeight;
    reading.weight = std::move(*value);
    if (took_part(unit_)) {
        const re2::StringPiece unit = groups[static_cast<std::size_t>(unit_)];
        const std::string_view word = TrimBlanks(std::string_view(unit.data(), unit.size()));
        if (IsUnitWord(word)) {
            reading.unit = word;
        }
    }
    return reading;
}

}  // namespace station
