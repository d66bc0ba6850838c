#pragma once

#include <QColor>
#include <QWidget>

namespace station::ui {

// A circle with a fill and an outline colour: a scale's connection lamp.
class Shape : public QWidget {
    Q_OBJECT

public:
    explicit Shape(QWidget* parent);

    QColor BrushColor() const { return brush_; }
    void SetBrushColor(const QColor& color);
    // Black until set.
    QColor PenColor() const { return pen_; }
    void SetPenColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor brush_ = Qt::white;
    QColor pen_ = Qt::black;
};

}  // namespace station::ui
