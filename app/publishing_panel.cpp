#include "app/publishing_panel.h"

namespace station {

PanelContent PublishingPanel(const Publisher::Status& status) {
    const bool delivering = status.connected && status.register_readable;
    PanelContent panel;
    panel.text = QStringLiteral("%1 %2")
                     .arg(delivering ? QStringLiteral("OK") : QStringLiteral("!!"))
                     .arg(status.waiting);
    panel.tool_tip =
        QStringLiteral("Stanowisko: %1 (temat %2)\n")
            .arg(QString::fromStdString(status.topic.substr(status.topic.rfind('/') + 1)),
                 QString::fromStdString(status.topic)) +
        QStringLiteral("Broker MQTT: %1 (%2)\nCzeka na potwierdzenie: %3\nOstatni błąd: %4")
            .arg(QString::fromStdString(status.broker),
                 status.connected ? QStringLiteral("połączony") : QStringLiteral("niepołączony"),
                 QString::number(status.waiting),
                 status.last_problem.empty() ? QStringLiteral("brak")
                                             : QString::fromStdString(status.last_problem));
    if (!status.damaged_state_kept_as.empty()) {
        panel.tool_tip += QStringLiteral(
                              "\nStan publikacji był uszkodzony (zachowany jako %1): ważenia od "
                              "początku miesiąca wysłano ponownie")
                              .arg(QString::fromStdString(status.damaged_state_kept_as));
    }
    return panel;
}

PanelContent PublishingRefusedPanel(const std::string& reason) {
    return {QStringLiteral("!! ust."),
            QStringLiteral("Publikacja wyłączona przez ustawienia [Publikacja]: %1")
                .arg(QString::fromStdString(reason))};
}

}  // namespace station
