#include "ui/glyph_button.h"

#include <QStyleOptionButton>
#include <QStylePainter>

#include "ui/picture.h"

namespace station::ui {

GlyphButton::GlyphButton(const QString& picture, QSize picture_size, int margin, QWidget* parent)
    : QPushButton(parent), picture_(picture), picture_size_(picture_size), margin_(margin) {}

void GlyphButton::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    QPixmap pixmap = Picture(picture_, picture_size_, devicePixelRatioF());
    if (!isEnabled()) {
        pixmap = style()->generatedIconPixmap(QIcon::Disabled, pixmap, &option);
    }
    const QRect area = rect();
    const int top = (area.height() - picture_size_.height()) / 2;
    const int left = text().isEmpty() ? (area.width() - picture_size_.width()) / 2 : margin_;
    const int shift = isDown() ? 1 : 0;  // pressed buttons push their face down and right
    painter.drawPixmap(left + shift, top + shift, pixmap);
    if (!text().isEmpty()) {
        const QRect caption(left + picture_size_.width() + kSpacing + shift, shift,
                            area.width() - left - picture_size_.width() - kSpacing, area.height());
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       QPalette::ButtonText));
        painter.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, text());
    }
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = area.adjusted(4, 4, -4, -4);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

}  // namespace station::ui
