#include "ui/display_labels.h"

#include "ui/screen_text.h"

#include <QFontMetrics>
#include <QPalette>

#include <algorithm>

namespace station::ui {
namespace {

// `font`, or the largest smaller pixel size of it in which `text` fits `width`. Widths grow
// about in proportion to the size, so the search starts there and steps down a pixel or two.
QFont FittingFont(const QFont& font, const QString& text, int width) {
    const int advance = QFontMetrics(font).horizontalAdvance(text);
    if (advance <= width) {
        return font;
    }
    const auto fits = [&](int size) {
        QFont sized = font;
        sized.setPixelSize(size);
        return QFontMetrics(sized).horizontalAdvance(text) <= width;
    };
    int size = std::max(1, font.pixelSize() * width / advance);
    while (size > 1 && !fits(size)) {
        --size;
    }
    while (size + 1 < font.pixelSize() && fits(size + 1)) {
        ++size;
    }
    QFont fitting = font;
    fitting.setPixelSize(size);
    return fitting;
}

}  // namespace

DisplayLabels::DisplayLabels(std::array<QLabel*, kScaleCount> labels,
                             std::array<QLabel*, kScaleCount> units)
    : labels_(labels), units_(units) {
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        fonts_[i] = labels_[i]->font();
    }
}

void DisplayLabels::ShowReading(int scale, const Reading& reading) {
    if (!IsScaleNumber(scale)) {
        return;
    }
    const auto index = static_cast<std::size_t>(scale - 1);
    QLabel* label = labels_[index];
    const QString shown = ToScreenText(reading.Text());
    const QFont font = FittingFont(fonts_[index], shown, label->contentsRect().width());
    if (font != label->font()) {
        label->setFont(font);
    }
    label->setText(shown);
    // Compared as bytes: a reading comes with every line, its unit seldom changes.
    if (reading.Unit() != units_shown_[index]) {
        units_shown_[index] = reading.Unit();
        units_[index]->setText(ToScreenText(units_shown_[index]));
    }
    const bool grey = reading.motion.value_or(false);
    if (grey != grey_[index]) {
        grey_[index] = grey;
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, grey ? QColor(0x80, 0x80, 0x80) : QColor(0, 0, 0));
        label->setPalette(palette);
    }
}

}  // namespace station::ui
