#pragma once

#include <QPushButton>

namespace station::ui {

// A push button with a picture at a fixed distance from its left edge and the caption after
// it; with no caption the picture is centred.
class GlyphButton : public QPushButton {
    Q_OBJECT

public:
    GlyphButton(const QString& picture, QSize picture_size, int margin, QWidget* parent);

    QSize PictureSize() const { return picture_size_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static constexpr int kSpacing = 4;  // between picture and caption

    QString picture_;
    QSize picture_size_;
    int margin_;
};

}  // namespace station::ui
