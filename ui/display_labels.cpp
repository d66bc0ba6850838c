#include "ui/display_labels.h"

#include "ui/screen_text.h"

namespace station::ui {

void DisplayLabels::SetReadingText(int scale, const std::string& text) {
    if (IsScaleNumber(scale)) {
        labels_[static_cast<std::size_t>(scale - 1)]->setText(ToScreenText(text));
    }
}

}  // namespace station::ui
