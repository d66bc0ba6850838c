#include "ui/dialog_position.h"

#include <QWidget>

#include <algorithm>

namespace station::ui {

QPoint CentredIn(const QRect& area, const QSize& size) {
    return {area.left() + (area.width() - size.width()) / 2,
            area.top() + (area.height() - size.height()) / 2};
}

QPoint KeptInside(const QRect& area, const QPoint& corner, const QSize& size) {
    const auto inside = [](int at, int length, int low, int span) {
        return std::max(low, std::min(at, low + span - length));
    };
    return {inside(corner.x(), size.width(), area.left(), area.width()),
            inside(corner.y(), size.height(), area.top(), area.height())};
}

void CentreOverParent(QWidget* dialog) {
    if (const QWidget* owner = dialog->parentWidget()) {
        dialog->move(CentredIn(owner->frameGeometry(), dialog->frameGeometry().size()));
    }
}

}  // namespace station::ui
