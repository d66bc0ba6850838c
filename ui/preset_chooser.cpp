#include "ui/preset_chooser.h"

#include <QDialogButtonBox>
#include <QVBoxLayout>

#include "ui/reading_description.h"

namespace station::ui {

PresetChooser::PresetChooser(int scale, std::vector<PresetMatch> matches, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Rozpoznaj format: Waga %1").arg(scale));
    auto* layout = new QVBoxLayout(this);
    Lverdict = new QLabel(this);
    Lverdict->setWordWrap(true);
    layout->addWidget(Lverdict);
    LBpresets = new QListWidget(this);
    for (const PresetMatch& match : matches) {
        const QString name =
            QString::fromLatin1(match.preset.data(), static_cast<int>(match.preset.size()));
        const std::string_view description = PresetDescription(match.preset);
        auto* row = new QListWidgetItem(
            name + QStringLiteral("  →  ") + DescribeReading(match.last) +
                QStringLiteral("\n    ") +
                QString::fromUtf8(description.data(), static_cast<qsizetype>(description.size())),
            LBpresets);
        row->setData(Qt::UserRole, name);
    }
    layout->addWidget(LBpresets);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    BBok = buttons->button(QDialogButtonBox::Ok);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Anuluj"));
    layout->addWidget(buttons);
    if (matches.empty()) {
        Lverdict->setText(QString::fromUtf8(
            "Żaden gotowy format nie odczytuje ostatnich linii tej wagi. Wybierz format "
            "„pattern” i wpisz wzorzec z grupą (?P<weight>...)."));
        LBpresets->hide();
        BBok->setEnabled(false);
    } else if (ClearlyBest(matches)) {
        Lverdict->setText(QString::fromUtf8(
            "Formaty, które odczytują wagę ze wszystkich ostatnich linii, od najlepiej "
            "pasującego (ostatni odczyt):"));
        LBpresets->setCurrentRow(0);
    } else {
        // Alike by what the bytes show: only the indicator's own display tells them apart.
        Lverdict->setText(QString::fromUtf8(
            "Kilka formatów pasuje jednakowo. Porównaj odczyt każdego z wyświetlaczem wagi "
            "i wybierz ten, który pokazuje to samo:"));
        BBok->setEnabled(false);
        buttons->button(QDialogButtonBox::Cancel)->setFocus();  // the list's focus picks a row
        connect(LBpresets, &QListWidget::currentRowChanged, BBok,
                [this](int row) { BBok->setEnabled(row >= 0); });
    }
    const auto choose = [this] {
        if (QListWidgetItem* row = LBpresets->currentItem()) {
            emit Chosen(row->data(Qt::UserRole).toString());
            accept();
        }
    };
    connect(buttons, &QDialogButtonBox::accepted, this, choose);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(LBpresets, &QListWidget::itemDoubleClicked, this, choose);
    setAttribute(Qt::WA_DeleteOnClose);
    resize(620, 360);
}

}  // namespace station::ui
