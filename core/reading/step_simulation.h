#pragma once

#include <string>

namespace station {

// How far one click of the step simulator moves the simulated reading.
inline constexpr double kSimulationStep = 5;

// The line the step simulator feeds for `value`: fixed notation with precision 8 and no
// decimals, commas turned into points.
std::string SimulatedLine(double value, char decimal_separator);

}  // namespace station
