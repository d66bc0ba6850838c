#include "ui/fonts.h"

namespace station::ui {

QFont ArialFont(int pixel_size, bool bold) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(pixel_size);
    font.setBold(bold);
    return font;
}

QFont WindowFont() {
    // Narrow enough that "127.0.0.1:2001" fits its 85-pixel status panel, as the layout
    // expects; the wider default sans faces cut it off.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

}  // namespace station::ui
