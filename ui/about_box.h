#pragma once

#include <QDialog>

namespace station::ui {

// The about dialog "O programie..."; its panel and links come with the about-box work.
class TAboutBox : public QDialog {
public:
    explicit TAboutBox(QWidget* parent);
};

}  // namespace station::ui
