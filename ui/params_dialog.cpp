#include "ui/params_dialog.h"

#include "ui/fonts.h"

namespace station::ui {

TFparams::TFparams(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Fparams"));
    setWindowTitle(QStringLiteral("Ustawienia"));
    setFont(WindowFont());
}

}  // namespace station::ui
