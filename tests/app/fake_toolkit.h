#pragma once

#include <QDialog>
#include <QString>

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
    bool ShowModal(QDialog& dialog) override {
        shown_dialogs.push_back(dialog.objectName());
        return answer_modal ? answer_modal(dialog) : false;
    }
    void RequestTermination() override { termination_requested = true; }
    bool TerminationRequested() const override { return termination_requested; }

    std::vector<std::pair<QString, QString>> error_boxes;
    std::vector<QString> shown_dialogs;
    std::function<bool(QDialog&)> answer_modal;
    bool termination_requested = false;
};

}  // namespace station::test
