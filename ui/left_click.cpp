#include "ui/left_click.h"

#include <QMouseEvent>
#include <QWidget>

namespace station::ui {

bool IsLeftClick(const QWidget& widget, const QMouseEvent& release) {
    return release.button() == Qt::LeftButton &&
           widget.rect().contains(release.position().toPoint());
}

}  // namespace station::ui
