#pragma once

#include <QString>
#include <QWidget>

#include <vector>

namespace station::ui {

// A status bar of fixed-width text panels, each with a raised or lowered bevel, and no size
// grip.
class PanelStatusBar : public QWidget {
    Q_OBJECT

public:
    enum class Bevel { kRaised, kLowered };
    struct Panel {
        QString text;
        int width;
        Bevel bevel;
        QString tool_tip = {};
    };

    PanelStatusBar(std::vector<Panel> panels, QWidget* parent);

    int PanelCount() const { return static_cast<int>(panels_.size()); }
    const Panel& PanelAt(int index) const { return panels_.at(static_cast<std::size_t>(index)); }
    void SetPanelText(int index, const QString& text);
    void SetPanelToolTip(int index, const QString& text);
    // A panel after the others, for what is shown only when a setting asks; its index.
    int AddPanel(Panel panel);
    // Where a panel lies, for painting and for tests.
    QRect PanelRect(int index) const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<Panel> panels_;
};

}  // namespace station::ui
