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

    // The top-left corner stays where it is.
    void Set(QSize outer);
    QSize Get() const { return outer_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Apply();

    QWidget* window_;
    QSize outer_;
};

}  // namespace station::ui
