#pragma once

#include <QLabel>

#include <functional>

namespace station::ui {

// A picture that answers a left click.
class Image : public QLabel {
public:
    using QLabel::QLabel;

    std::function<void()> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace station::ui
