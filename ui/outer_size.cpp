#include "ui/outer_size.h"

#include <QEvent>
#include <QWidget>

namespace station::ui {

OuterSize::OuterSize(QWidget* window) : QObject(window), window_(window) {
    window->installEventFilter(this);
}

void OuterSize::Set(QSize outer) {
    outer_ = outer;
    Apply();
}

void OuterSize::Apply() {
    if (!outer_.isValid()) {
        return;
    }
    const QSize frame = window_->frameGeometry().size() - window_->geometry().size();
    const QSize client = outer_ - frame;
    if (window_->size() != client || window_->minimumSize() != client) {
        window_->setFixedSize(client);
    }
}

bool OuterSize::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && (event->type() == QEvent::Show || event->type() == QEvent::Move)) {
        Apply();
    }
    return false;
}

}  // namespace station::ui
