#pragma once

// A deliberately plain model of what a scale line should show: integer arithmetic on the kept
// characters instead of decimal digit strings. Shared by the model test and the fuzzer.

#include <string>
#include <vector>

namespace station::test {

__extension__ using Int = unsigned __int128;

inline Int PowerOfTen(int n) {
    Int p = 1;
    while (n-- > 0) {
        p *= 10;
    }
    return p;
}

inline int DigitCount(Int n) {
    int count = 0;
    for (; n > 0; n /= 10) {
        ++count;
    }
    return count;
}

inline std::string ToText(Int n) {
    std::string text;
    do {
        text.insert(text.begin(), static_cast<char>('0' + static_cast<int>(n % 10)));
        n /= 10;
    } while (n > 0);
    return text;
}

// n / 10^places, halves away from zero (n is a magnitude).
inline Int DivideRounded(Int n, int places) {
    if (places <= 0) {
        return n;
    }
    const Int unit = PowerOfTen(places);
    return n / unit + ((n % unit) * 2 >= unit ? 1 : 0);
}

// The line's kept characters read as one number: at most 36 kept characters.
inline std::string ModelOneNumber(const std::string& line) {
    std::string kept;
    for (char c : line) {
        if (c == ',' || c == '.' || c == '-' || (c >= '0' && c <= '9')) {
            kept += c;
        }
    }
    const bool negative = !kept.empty() && kept[0] == '-';
    const std::string body = negative ? kept.substr(1) : kept;
    std::string digits;
    int fraction_length = 0;
    int marks = 0;
    for (char c : body) {
        if (c == ',' || c == '.') {
            ++marks;
        } else if (c == '-') {
            return "#err";
        } else {
            digits += c;
            fraction_length += marks;
        }
    }
    if (kept.empty() || marks > 1 || (digits.empty() && marks == 0)) {
        return "#err";
    }
    Int n = 0;
    for (char c : digits) {
        n = n * 10 + static_cast<Int>(c - '0');
    }
    // 18 significant digits first.
    if (DigitCount(n) > 18) {
        const int dropped = DigitCount(n) - 18;
        n = DivideRounded(n, dropped) * PowerOfTen(dropped);
    }
    const int integer_digits = DigitCount(n) - fraction_length;
    Int whole = 0;
    if (integer_digits <= 8) {
        whole = DivideRounded(n, fraction_length);
    }
    if (integer_digits > 8 || DigitCount(whole) > 8) {
        // Eight significant digits, then shown in full up to 15 digits, else as d.dddE<power>.
        const int dropped = DigitCount(n) - 8;
        Int eight = DivideRounded(n, dropped);
        int power = dropped - fraction_length;
        if (DigitCount(eight) > 8) {
            eight /= 10;
            ++power;
        }
        const int total_digits = 8 + power;
        if (total_digits <= 15) {
            return (negative ? "-" : "") + ToText(eight * PowerOfTen(power));
        }
        std::string mantissa = ToText(eight);
        while (mantissa.size() > 1 && mantissa.back() == '0') {
            mantissa.pop_back();
        }
        std::string text = negative ? "-" : "";
        text += mantissa[0];
        if (mantissa.size() > 1) {
            text += "." + mantissa.substr(1);
        }
        return text + "E" + std::to_string(total_digits - 1);
    }
    return (negative && whole != 0 ? "-" : "") + ToText(whole);
}

inline bool ModelHasDigit(const std::string& field) {
    for (char c : field) {
        if (c >= '0' && c <= '9') {
            return true;
        }
    }
    return false;
}

// What the display should show for a non-empty line: the line as one number, or else the last
// comma-separated field with a digit, unless that field is the first or follows one with a digit.
inline std::string ModelDisplay(const std::string& line) {
    std::string whole = ModelOneNumber(line);
    if (whole != "#err") {
        return whole;
    }
    std::vector<std::string> fields(1);
    for (char c : line) {
        if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    for (std::size_t i = fields.size(); i-- > 0;) {
        if (ModelHasDigit(fields[i])) {
            if (i == 0 || ModelHasDigit(fields[i - 1])) {
                return "#err";
            }
            return ModelOneNumber(fields[i]);
        }
    }
    return "#err";
}

}  // namespace station::test
