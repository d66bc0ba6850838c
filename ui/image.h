#pragma once

#include <QLabel>

namespace station::ui {

// A picture that answers a left click.
class Image : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace station::ui
