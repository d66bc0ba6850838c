#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <array>
#include <string>

#include "core/settings/reading_settings.h"

namespace station::ui {

// The settings dialog's page "Odczyt", in the technical view only: per scale the reading
// format (the standard rule, a preset, or the installer's pattern), the save mode, and a live
// line, the scale's last received line with what the chosen format reads in it; below, the wait
// for a stable reading.
class ReadingPage final : public QWidget {
    Q_OBJECT

public:
    ReadingPage();

    void Fill(const ReadingSettings& settings);
    // The field OK must not pass (a pattern that cannot be used, a wait that is no whole number
    // from 0 to 3600), or nullptr when every field is good.
    QWidget* BadField() const;
    // The page's keys, as chosen, over `settings`.
    void Chosen(ReadingSettings& settings) const;

    // Scale `scale`'s last received line, what its display shows now, and its last bytes as
    // received, which "Rozpoznaj" tries every preset on.
    void SetLiveLine(int scale, const std::string& line, const std::string& shown,
                     const std::string& recent);

    std::array<QComboBox*, kScaleCount> CBformat{};
    std::array<QLineEdit*, kScaleCount> Epattern{};
    std::array<QComboBox*, kScaleCount> CBsave{};
    std::array<QLabel*, kScaleCount> Llive{};
    std::array<QPushButton*, kScaleCount> BBrecognise{};
    QLineEdit* Estable_wait = nullptr;

private:
    void Refresh(std::size_t index);
    void Recognise(std::size_t index);

    std::array<std::string, kScaleCount> lines_;
    std::array<std::string, kScaleCount> shown_;
    std::array<std::string, kScaleCount> recent_;
};

}  // namespace station::ui
