#include "ui/status_bar.h"

#include <qdrawutil.h>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace station::ui {

PanelStatusBar::PanelStatusBar(std::vector<Panel> panels, QWidget* parent)
    : QWidget(parent), panels_(std::move(panels)) {
    setAutoFillBackground(true);  // covers what lies below the window's visible part
}

void PanelStatusBar::SetPanelText(int index, const QString& text) {
    Panel& panel = panels_.at(static_cast<std::size_t>(index));
    if (panel.text != text) {
        panel.text = text;
        update(PanelRect(index));
    }
}

void PanelStatusBar::SetPanelToolTip(int index, const QString& text) {
    panels_.at(static_cast<std::size_t>(index)).tool_tip = text;
}

int PanelStatusBar::AddPanel(Panel panel) {
    panels_.push_back(std::move(panel));
    update(PanelRect(PanelCount() - 1));
    return PanelCount() - 1;
}

bool PanelStatusBar::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) {
        return QWidget::event(event);
    }
    const auto* help = static_cast<QHelpEvent*>(event);
    for (int i = 0; i < PanelCount(); ++i) {
        const QString& tip = PanelAt(i).tool_tip;
        if (PanelRect(i).contains(help->pos()) && !tip.isEmpty()) {
            QToolTip::showText(help->globalPos(), tip, this, PanelRect(i));
            return true;
        }
    }
    QToolTip::hideText();
    event->ignore();
    return true;
}

QRect PanelStatusBar::PanelRect(int index) const {
    int left = 0;
    for (int i = 0; i < index; ++i) {
        left += panels_[static_cast<std::size_t>(i)].width;
    }
    // Panels are separated by two pixels and leave two at the top, as such bars are drawn.
    const int width = panels_.at(static_cast<std::size_t>(index)).width - 2;
    return QRect(left, 2, width, height() - 2);
}

void PanelStatusBar::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    for (int i = 0; i < PanelCount(); ++i) {
        const Panel& panel = panels_[static_cast<std::size_t>(i)];
        const QRect area = PanelRect(i);
        qDrawShadePanel(&painter, area, palette(), panel.bevel == Bevel::kLowered, 1);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(area.adjusted(3, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter, panel.text);
    }
}

}  // namespace station::ui
