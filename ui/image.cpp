#include "ui/image.h"

#include <QMouseEvent>

namespace station::ui {

void Image::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        OnClick) {
        OnClick();
    }
}

}  // namespace station::ui
