#include "ui/outer_size.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "ui/dialog_position.h"

namespace station::ui {

OuterSize::OuterSize(QWidget* window) : QObject(window), window_(window) {
    window->installEventFilter(this);
}

void OuterSize::Set(QSize outer) {
    outer_ = outer;
    Apply();
    KeepOnScreen();
}

void OuterSize::KeepOnScreen() {
    const QScreen* screen = window_->screen();
    if (!window_->isVisible() || screen == nullptr ||
        QGuiApplication::platformName() != QLatin1String("xcb")) {
        return;
    }
    const QPoint corner = window_->frameGeometry().topLeft();
    const QPoint inside = KeptInside(screen->availableGeometry(), corner, outer_);
    if (inside != corner) {
        window_->move(inside);
    }
}

void OuterSize::CentreOnScreen() {
    if (const QScreen* screen = window_->screen()) {
        window_->move(CentredIn(screen->availableGeometry(), outer_));
    }
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
