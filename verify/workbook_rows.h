#pragma once

#include <string>
#include <variant>

#include "export_check.h"

namespace station {

// The cells of a workbook's sheets as text, row by row (the header of the first sheet first, the
// later sheets' headers left out): numbers as written ("10.5"), strings as they are, an empty
// text for a cell not there. Or why the file cannot be read as a workbook.
std::variant<SheetRows, std::string> ReadWorkbookRows(const std::string& path);

}  // namespace station
