#include "ui/dialog_position.h"

#include <QWidget>

namespace station::ui {

QPoint CentredIn(const QRect& area, const QSize& size) {
    return {area.left() + (area.width() - size.width()) / 2,
            area.top() + (area.height() - size.height()) / 2};
}

void CentreOverParent(QWidget* dialog) {
    if (const QWidget* owner = dialog->parentWidget()) {
        dialog->move(CentredIn(owner->frameGeometry(), dialog->frameGeometry().size()));
    }
}

}  // namespace station::ui
