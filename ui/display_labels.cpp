#include "ui/display_labels.h"

#include "ui/screen_text.h"

#include <QPalette>

namespace station::ui {

void DisplayLabels::SetReadingText(int scale, const std::string& text) {
    ShowReading(scale, text, std::nullopt);
}

void DisplayLabels::ShowReading(int scale, const std::string& text, std::optional<bool> motion) {
    if (!IsScaleNumber(scale)) {
        return;
    }
    const auto index = static_cast<std::size_t>(scale - 1);
    QLabel* label = labels_[index];
    label->setText(ToScreenText(text));
    const bool grey = motion.value_or(false);
    if (grey != grey_[index]) {
        grey_[index] = grey;
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, grey ? QColor(0x80, 0x80, 0x80) : QColor(0, 0, 0));
        label->setPalette(palette);
    }
}

}  // namespace station::ui
