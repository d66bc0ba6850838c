#pragma once

#include <QFont>

namespace station::ui {

// "Arial" of the layouts, through its metric-compatible free twin.
QFont ArialFont(int pixel_size, bool bold = false);
// The windows' default face ("MS Sans Serif" 11 pixels): a sans font of that size.
QFont WindowFont();

}  // namespace station::ui
