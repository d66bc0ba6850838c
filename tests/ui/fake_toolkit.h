#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>

#include <functional>
#include <utility>
#include <vector>

#include "ui/toolkit.h"

namespace station::test {

// Answers the station's modal calls without waiting for anyone, and writes them down.
class FakeToolkit final : public ui::Toolkit {
public:
    void ShowErrorBox(QWidget* /*parent*/, const QString& caption, const QString& text) override {
        error_boxes.emplace_back(caption, text);
    }
    // Shows the dialog, lets `answer_modal` act as the operator, and closes it with Cancel
    // when the answer left it open.
    bool ShowModal(QDialog& dialog) override {
        shown_dialogs.push_back(dialog.objectName());
        dialog.setResult(0);
        dialog.show();
        if (answer_modal) {
            answer_modal(dialog);
        }
        if (dialog.isVisible()) {
            dialog.reject();
        }
        return dialog.result() == QDialog::Accepted;
    }
    std::optional<QString> SaveFileName(QWidget* /*parent*/, const QString& title,
                                        const QString& proposed, const QString& filter) override {
        save_dialogs.push_back(title + "|" + proposed + "|" + filter);
        return answer_save;
    }
    void OpenUrl(const QUrl& url) override { opened.push_back(url.toString()); }

    // Caption and text of every error box, in order.
    using ErrorBoxes = std::vector<std::pair<QString, QString>>;
    ErrorBoxes error_boxes;
    std::vector<QString> shown_dialogs;
    std::vector<QString> opened;
    std::vector<QString> save_dialogs;
    std::optional<QString> answer_save;
    std::function<void(QDialog&)> answer_modal;
};

}  // namespace station::test
