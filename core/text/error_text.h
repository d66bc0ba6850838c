#pragma once

#include <string>

namespace station {

// The text of the general error report: the error's text, with a point appended when its last
// character's code is above that of the point (46), so "Disk full" ends with one and "x." or
// "(5)" keep theirs. 8-bit text.
std::string ErrorReportText(const std::string& message);

}  // namespace station
