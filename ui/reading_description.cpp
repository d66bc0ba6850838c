#include "ui/reading_description.h"

namespace station::ui {

QString DescribeReading(const IndicatorReading& reading) {
    const QString motion = !reading.motion   ? QStringLiteral("—")
                           : *reading.motion ? QStringLiteral("tak")
                                             : QStringLiteral("nie");
    switch (reading.kind) {
        case IndicatorReading::Kind::kWeight: {
            // Kilograms unsaid, as the display's label says them; any other unit said.
            const QString unit = reading.unit.empty() || reading.unit == "kg"
                                     ? QString()
                                     : QStringLiteral(" ") + QString::fromStdString(reading.unit);
            return QStringLiteral("%1%2 (ruch: %3, zakres: ok)")
                .arg(QString::fromStdString(reading.weight), unit, motion);
        }
        case IndicatorReading::Kind::kOver:
            return QStringLiteral("OL (ruch: %1, zakres: powyżej)").arg(motion);
        case IndicatorReading::Kind::kUnder:
            return QStringLiteral("UL (ruch: %1, zakres: poniżej)").arg(motion);
        case IndicatorReading::Kind::kNotAWeight:
            break;
    }
    return reading.checksum_failed ? QStringLiteral("#err (zła suma kontrolna)")
                                   : QStringLiteral("#err (nie waga)");
}

}  // namespace station::ui
