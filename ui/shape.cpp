#include "ui/shape.h"

#include <QPainter>

namespace station::ui {

Shape::Shape(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Shape::SetBrushColor(const QColor& color) {
    if (color != brush_) {
        brush_ = color;
        update();
    }
}

void Shape::SetPenColor(const QColor& color) {
    if (color != pen_) {
        pen_ = color;
        update();
    }
}

void Shape::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(pen_, 1));
    painter.setBrush(brush_);
    // The outline lies inside the widget, one pixel wide, as a 12 x 12 lamp is drawn.
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

}  // namespace station::ui
