#pragma once

#include <QString>

#include "core/reading/indicator_format.h"

namespace station::ui {

// What a format read in a line: "1234.5 (ruch: nie, zakres: ok)", "OL", "nie waga", ...
QString DescribeReading(const IndicatorReading& reading);

}  // namespace station::ui
