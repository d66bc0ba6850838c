#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace station::ui {

// Where a frame of `size` stands in the middle of `area`.
QPoint CentredIn(const QRect& area, const QSize& size);

// Where a frame of `size` with its top-left corner at `corner` stands once moved the least that
// brings it inside `area`; a frame too large for `area` keeps its top-left corner inside it.
QPoint KeptInside(const QRect& area, const QPoint& corner, const QSize& size);

// Puts a dialog's frame in the middle of its parent window's frame.
void CentreOverParent(QWidget* dialog);

}  // namespace station::ui
