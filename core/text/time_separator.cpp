#include "core/text/time_separator.h"

#include <langinfo.h>
#include <locale.h>

#include <cctype>

namespace station {

char TimeSeparatorOf(const char* format) {
    // The first character after the first conversion that is not itself a conversion, a
    // letter, a digit or a blank separates the fields.
    const char* at = format;
    while (*at != '\0' && *at != '%') {
        ++at;
    }
    if (*at == '\0') {
        return ':';
    }
    ++at;
    while (*at == '-' || *at == '_' || *at == '0' || *at == '^' || *at == '#' || *at == 'E' ||
           *at == 'O') {
        ++at;  // flags and modifiers of the conversion
    }
    if (*at == '\0' || *at == 'T' || *at == 'R' || *at == 'r') {
        return ':';
    }
    const auto next = static_cast<unsigned char>(at[1]);
    if (next == '\0' || next == '%' || std::isalnum(next) || std::isspace(next)) {
        return ':';
    }
    return static_cast<char>(next);
}

char DetectTimeSeparator() {
    const locale_t user = newlocale(LC_TIME_MASK, "", locale_t{});
    if (user == locale_t{}) {
        return ':';
    }
    const char separator = TimeSeparatorOf(nl_langinfo_l(T_FMT, user));
    freelocale(user);
    return separator;
}

}  // namespace station
