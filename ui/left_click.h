#pragma once

class QMouseEvent;
class QWidget;

namespace station::ui {

// Whether `release` ends a left click on `widget`: the left button let go over it.
bool IsLeftClick(const QWidget& widget, const QMouseEvent& release);

}  // namespace station::ui
