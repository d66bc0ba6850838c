#pragma once

#include <QLabel>

#include <array>
#include <string>

#include "core/reading/reading_displays.h"
#include "core/scales.h"

namespace station::ui {

// The four reading displays as labels; scale numbers outside 1 to 4 show nowhere. A reading too
// wide for its label is drawn in the largest size of the label's font that fits, since a label
// clips on the left and a clipped number reads as another number; one that fits is drawn in the
// label's own font, fitted when the label paints. The label beside each display shows the
// reading's unit.
class DisplayLabels final : public ReadingDisplays {
public:
    DisplayLabels(std::array<QLabel*, kScaleCount> labels, std::array<QLabel*, kScaleCount> units);

    // Digits grey (#808080) while the load moves, black otherwise.
    void ShowReading(int scale, const Reading& reading) override;

private:
    std::array<QLabel*, kScaleCount> labels_;
    std::array<QLabel*, kScaleCount> units_;
    std::array<std::string, kScaleCount> units_shown_{"kg", "kg", "kg", "kg"};  // as laid out
    std::array<bool, kScaleCount> grey_{};
};

}  // namespace station::ui
