#include "ui/image.h"

#include <QMouseEvent>

#include "ui/left_click.h"

namespace station::ui {

void Image::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (IsLeftClick(*this, *event)) {
        emit clicked();
    }
}

}  // namespace station::ui
