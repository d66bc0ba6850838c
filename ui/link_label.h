#pragma once

#include <QLabel>

#include <functional>

namespace station::ui {

// A label that opens something on a left click: blue and underlined, purple while a mouse
// button is held on it.
class LinkLabel : public QLabel {
public:
    LinkLabel(const QString& text, QWidget* parent);

    // Runs on the left button's release over the label, while the text is still purple.
    std::function<void()> OnClick;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void SetTextColour(const QColor& colour);
};

}  // namespace station::ui
