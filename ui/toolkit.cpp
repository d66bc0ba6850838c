#include "ui/toolkit.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace station::ui {

void QtToolkit::ShowErrorBox(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

bool QtToolkit::ShowModal(QDialog& dialog) {
    return dialog.exec() == QDialog::Accepted;
}

std::optional<QString> QtToolkit::SaveFileName(QWidget* parent, const QString& title,
                                               const QString& proposed, const QString& filter) {
    const QString chosen = QFileDialog::getSaveFileName(parent, title, proposed, filter);
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return chosen;
}

void QtToolkit::OpenUrl(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

}  // namespace station::ui
