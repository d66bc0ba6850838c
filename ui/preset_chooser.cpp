#include "ui/preset_chooser.h"

#include <QDialogButtonBox>
#include <QVBoxLayout>

#include "ui/reading_page.h"

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
        auto* row = new QListWidgetItem(
            name + QStringLiteral("  →  ") + DescribeReading(match.last), LBpresets);
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
    } else {
        Lverdict->setText(QString::fromUtf8(
            "Formaty, które odczytują wagę ze wszystkich ostatnich linii (ostatni odczyt):"));
        LBpresets->setCurrentRow(0);
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
    resize(560, 280);
}

}  // namespace station::ui
