#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace station {

// What a scale's display shows, made once by the decoder and judged by its kind everywhere
// after: stable saves, live states and their messages. Only Text() spells the kinds out, for
// the display, the register and the messages.
struct Reading {
    enum class Kind {
        kNothingYet,  // no line since start-up
        kWeight,      // `weight` holds the number shown
        kNoWeight,    // a line with no readable weight
        kOver,        // over range
        kUnder,       // under range
    };
    Kind kind = Kind::kNothingYet;
    std::string weight;          // 8-bit, as shown, for kWeight
    std::optional<bool> motion;  // nullopt where the format does not say
    // The scale's unit as its frames last wrote it; empty where none was read: kilograms.
    std::string unit;
    // The weight unrounded ("[-]digits[.digits]"), which settles a load where the format says
    // nothing of motion; empty where the rounded text is all there is.
    std::string exact;
    // No weight because bytes keep coming and no frame is read from them (frame_cadence.h).
    bool no_frame = false;

    static Reading Weight(std::string text, std::optional<bool> motion = std::nullopt) {
        return {Kind::kWeight, std::move(text), motion, {}, {}, false};
    }
    static Reading Of(Kind kind, std::optional<bool> motion = std::nullopt) {
        return {kind, {}, motion, {}, {}, false};
    }

    // "- - - - -", the weight, "#err", "OL" or "UL".
    std::string Text() const {
        switch (kind) {
            case Kind::kWeight:
                return weight;
            case Kind::kNoWeight:
                return "#err";
            case Kind::kOver:
                return "OL";
            case Kind::kUnder:
                return "UL";
            case Kind::kNothingYet:
                break;
        }
        return "- - - - -";
    }

    // The unit beside the display: the one read, or "kg".
    std::string_view Unit() const { return unit.empty() ? std::string_view("kg") : unit; }

    bool operator==(const Reading&) const = default;
};

}  // namespace station
