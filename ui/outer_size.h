#pragma once

#include <QObject>
#include <QSize>

class QWidget;

namespace station::ui {

// Keeps a top-level window at a fixed outer size, frame and caption included, and not
// resizable. The frame's size is known only once the window manager has framed the window, so
// the client size is worked out again whenever the window is shown or moved.
class OuterSize final : public QObject {
    Q_OBJECT

public:
    explicit OuterSize(QWidget* window);

    // The top-left corner stays, unless the window would then reach past its screen: it moves
    // the least that brings it back. Only X11 lets a program place its window.
    void Set(QSize outer);
    QSize Get() const { return outer_; }
    // The window in the middle of its screen.
    void CentreOnScreen();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Apply();
    void KeepOnScreen();

    QWidget* window_;
    QSize outer_;
};

}  // namespace station::ui
