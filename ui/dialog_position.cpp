#include "ui/dialog_position.h"

#include <QWidget>

namespace station::ui {

void CentreOverParent(QWidget* dialog) {
    if (const QWidget* owner = dialog->parentWidget()) {
        const QRect over = owner->frameGeometry();
        const QSize size = dialog->frameGeometry().size();
        dialog->move(over.left() + (over.width() - size.width()) / 2,
                     over.top() + (over.height() - size.height()) / 2);
    }
}

}  // namespace station::ui
