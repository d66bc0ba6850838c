#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "ui/link_label.h"
#include "ui/toolkit.h"

namespace station::ui {

// The about dialog "O programie...": name, version and the maker's two links. Enter and "OK"
// close it; Esc does not.
class TAboutBox : public QDialog {
    Q_OBJECT

public:
    TAboutBox(Toolkit& toolkit, QWidget* parent);

    QWidget* Panel1;
    QLabel* Ilogo;
    QLabel* Label2;
    QLabel* Label7;
    QLabel* Label1;
    QLabel* Lwww0;
    LinkLabel* Lwww1;
    QLabel* Lemail0;
    LinkLabel* Lemail1;
    QPushButton* OKButton;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildPanel();

    Toolkit& toolkit_;
};

}  // namespace station::ui
