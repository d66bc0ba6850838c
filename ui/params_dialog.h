#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QTabWidget>

#include <array>

#include "core/settings/connection_settings.h"
#include "core/settings/reading_settings.h"
#include "ui/glyph_button.h"
#include "ui/reading_page.h"

namespace station::ui {

// The settings dialog "Ustawienia": the four scales' addresses and ports on the first page,
// the technical-view switch in a hidden group on the second, and in the technical view a third
// page, "Odczyt" (ReadingPage): each scale's reading format and save mode, and the wait for a
// stable reading. It is made once and reused; every opening refills the fields from the
// settings in force.
class TFparams : public QDialog {
    Q_OBJECT

public:
    TFparams(const ConnectionSettings& settings, QWidget* parent);

    // The texts as typed, scale 1 to 4.
    QString AddressText(int scale) const;
    QString PortText(int scale) const;
    bool ShowLogChecked() const { return CBshow_rs_log->isChecked(); }
    // The installers' way to the transmission log (tarvelio --technical): the group that holds
    // its switch becomes visible, and the page "Odczyt" is added, filled from `reading`.
    void ShowTechnicalView(const ReadingSettings& reading);
    bool TechnicalView() const { return reading_ != nullptr; }

    QTabWidget* PCconf;
    QWidget* TSconf_rs232;
    QWidget* TabSheet2;
    std::array<QGroupBox*, kScaleCount> GB;
    std::array<QLineEdit*, kScaleCount> Eaddress;
    std::array<QLineEdit*, kScaleCount> Eport;
    QGroupBox* GBrstimeout;
    QCheckBox* CBshow_rs_log;
    ReadingPage* TSreading = nullptr;  // the technical view's page "Odczyt"
    GlyphButton* BBok;
    GlyphButton* BBcancel;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormActivate();
    void BBokClick();
    void BuildScaleGroups();
    void BuildOtherPage();

    const ConnectionSettings& settings_;
    const ReadingSettings* reading_ = nullptr;  // set in the technical view
};

}  // namespace station::ui
