#pragma once

#include <QLabel>

#include <array>

#include "core/reading/reading_displays.h"
#include "core/scales.h"

namespace station::ui {

// The four reading displays as labels; scale numbers outside 1 to 4 show nowhere.
class DisplayLabels final : public ReadingDisplays {
public:
    explicit DisplayLabels(std::array<QLabel*, kScaleCount> labels) : labels_(labels) {}

    void SetReadingText(int scale, const std::string& text) override;
    // Digits grey (#808080) while the load moves, black otherwise.
    void ShowReading(int scale, const std::string& text, std::optional<bool> motion) override;

private:
    std::array<QLabel*, kScaleCount> labels_;
    std::array<bool, kScaleCount> grey_{};
};

}  // namespace station::ui
