#include "core/reading/step_simulation.h"

#include <charconv>

#include "core/text/decimal_number.h"
#include "core/text/number_text.h"

namespace station {

std::string SimulatedLine(double value, char decimal_separator) {
    // The shortest text that reads back as `value`, then the exact decimal formatting.
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value);
    const auto number = ParseNumber(std::string_view(text, written.ptr), '.');
    return CommasToDots(
        FormatFixed(number.value_or(DecimalNumber{}), kFixedPrecision, 0, decimal_separator));
}

}  // namespace station
