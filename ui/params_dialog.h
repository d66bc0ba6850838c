#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QTabWidget>

#include <array>

#include "core/settings/connection_settings.h"
#include "ui/glyph_button.h"

namespace station::ui {

// The settings dialog "Ustawienia": the four scales' addresses and ports on the first page,
// the technical-view switch in a hidden group on the second. It is made once and reused;
// every opening refills the fields from the settings in force.
class TFparams : public QDialog {
    Q_OBJECT

public:
    TFparams(const ConnectionSettings& settings, QWidget* parent);

    // The texts as typed, scale 1 to 4.
    QString AddressText(int scale) const;
    QString PortText(int scale) const;
    bool ShowLogChecked() const { return CBshow_rs_log->isChecked(); }
    // The installers' way to the transmission log (tarvelio --technical): the group that holds
    // its switch becomes visible.
    void ShowTechnicalView() { GBrstimeout->show(); }

    QTabWidget* PCconf;
    QWidget* TSconf_rs232;
    QWidget* TabSheet2;
    std::array<QGroupBox*, kScaleCount> GB;
    std::array<QLineEdit*, kScaleCount> Eaddress;
    std::array<QLineEdit*, kScaleCount> Eport;
    QGroupBox* GBrstimeout;
    QCheckBox* CBshow_rs_log;
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
};

}  // namespace station::ui
