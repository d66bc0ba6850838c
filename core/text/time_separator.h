#pragma once

namespace station {

// The separator between hours, minutes and seconds in the user's locale's time format; a
// colon when the format names none.
char DetectTimeSeparator();

// The same, read from a strftime-style time format such as "%H:%M:%S" or "%T".
char TimeSeparatorOf(const char* format);

}  // namespace station
