#pragma once

#include <QLabel>

namespace station::ui {

// A label that opens something on a left click: blue and underlined, purple while a mouse
// button is held on it.
class LinkLabel : public QLabel {
    Q_OBJECT

public:
    LinkLabel(const QString& text, QWidget* parent);

signals:
    // On the left button's release over the label, while the text is still purple.
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void SetTextColour(const QColor& colour);
};

}  // namespace station::ui
