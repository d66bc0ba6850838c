#pragma once

class QWidget;

namespace station::ui {

// Puts a dialog's frame in the middle of its parent window's frame.
void CentreOverParent(QWidget* dialog);

}  // namespace station::ui
