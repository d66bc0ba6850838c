#pragma once

#include <QDialog>

namespace station::ui {

// The settings dialog "Ustawienia"; its pages and fields come with the settings work.
class TFparams : public QDialog {
public:
    explicit TFparams(QWidget* parent);
};

}  // namespace station::ui
