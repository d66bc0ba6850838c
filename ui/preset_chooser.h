#pragma once

#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include <string_view>
#include <vector>

#include "core/reading/preset_recognition.h"

namespace station::ui {

// The presets that read a scale's last lines, one row each with what it reads; choosing one
// (OK or a double click) hands its name to `Chosen`. When none reads them, says so and points to
// the pattern.
class PresetChooser final : public QDialog {
    Q_OBJECT

public:
    PresetChooser(int scale, std::vector<PresetMatch> matches, QWidget* parent);

    QLabel* Lverdict = nullptr;
    QListWidget* LBpresets = nullptr;
    QPushButton* BBok = nullptr;

signals:
    void Chosen(const QString& preset);
};

}  // namespace station::ui
