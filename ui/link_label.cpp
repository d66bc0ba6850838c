#include "ui/link_label.h"

#include <QMouseEvent>

#include "ui/left_click.h"

namespace station::ui {
namespace {

const QColor kBlue(0, 0, 255);
const QColor kPurple(128, 0, 128);

}  // namespace

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setAlignment(Qt::AlignCenter);
    setCursor(Qt::PointingHandCursor);
    SetTextColour(kBlue);
}

void LinkLabel::SetTextColour(const QColor& colour) {
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, colour);
    setPalette(palette);
}

void LinkLabel::mousePressEvent(QMouseEvent* event) {
    SetTextColour(kPurple);
    event->accept();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (IsLeftClick(*this, *event)) {
        emit clicked();
    }
    SetTextColour(kBlue);
    event->accept();
}

}  // namespace station::ui
