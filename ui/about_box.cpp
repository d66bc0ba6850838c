#include "ui/about_box.h"

#include "ui/fonts.h"

namespace station::ui {

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("O programie..."));
    setFont(WindowFont());
    setFixedSize(306, 232);
}

}  // namespace station::ui
