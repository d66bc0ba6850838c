#include "ui/display_labels.h"

#include "ui/screen_text.h"

#include <QEvent>
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

// Fits the label's font to its text just before the label paints: measuring a text shapes it,
// and a flood brings thousands of readings for each frame drawn. Owned by the label.
class FontFitting final : public QObject {
public:
    explicit FontFitting(QLabel* label) : QObject(label), label_(label), laid_out_(label->font()) {
        label->installEventFilter(this);
    }

    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            Fit();
        }
        return false;
    }

private:
    void Fit() {
        const QString text = label_->text();
        const int width = label_->contentsRect().width();
        if (text == fitted_text_ && width == fitted_width_) {
            return;
        }
        fitted_text_ = text;
        fitted_width_ = width;
        const QFont font = FittingFont(laid_out_, text, width);
        if (font != label_->font()) {
            label_->setFont(font);
        }
    }

    QLabel* label_;
    QFont laid_out_;
    QString fitted_text_;
    int fitted_width_ = -1;
};

}  // namespace

DisplayLabels::DisplayLabels(std::array<QLabel*, kScaleCount> labels,
                             std::array<QLabel*, kScaleCount> units)
    : labels_(labels), units_(units) {
    for (QLabel* label : labels_) {
        new FontFitting(label);
    }
}

void DisplayLabels::ShowReading(int scale, const Reading& reading) {
    if (!IsScaleNumber(scale)) {
        return;
    }
    const auto index = static_cast<std::size_t>(scale - 1);
    QLabel* label = labels_[index];
    label->setText(ToScreenText(reading.Text()));
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
