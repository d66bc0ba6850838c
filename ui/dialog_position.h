#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace station::ui {

// Where a frame of `size` stands in the middle of `area`.
QPoint CentredIn(const QRect& area, const QSize& size);

// Puts a dialog's frame in the middle of its parent window's frame.
void CentreOverParent(QWidget* dialog);

}  // namespace station::ui
