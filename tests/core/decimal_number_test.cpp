#include "core/text/decimal_number.h"

#include <gtest/gtest.h>

#include <string>

namespace station {
namespace {

std::string General(std::string_view text, int precision = 15) {
    const auto value = ParseNumber(text, '.');
    return value ? FormatGeneral(*value, precision, '.') : "fail";
}

std::string Fixed(std::string_view text, int decimals, int precision = 8) {
    const auto value = ParseNumber(text, '.');
    return value ? FormatFixed(*value, precision, decimals, '.') : "fail";
}

TEST(ParseNumber, AcceptsTheForms) {
    EXPECT_EQ(General("  -12.5e1  "), "-125");
    EXPECT_EQ(General("+7"), "7");
    EXPECT_EQ(General("."), "0");
    EXPECT_EQ(General("5."), "5");
    EXPECT_EQ(General(".25", 2), "0.25");
    EXPECT_EQ(General("3E"), "3");
    EXPECT_EQ(General("3e-1", 3), "0.3");
    EXPECT_EQ(General("1E+3"), "1000");
    EXPECT_EQ(General("-0"), "0");
    EXPECT_EQ(General("0.000"), "0");
}

TEST(ParseNumber, RejectsEverythingElse) {
    for (const char* text : {"", " ", "-", "+", "+-1", "1 2", "1,5", "1.5.", "E5", "1E5x", "\t1",
                             "1..", "0x10", "err"}) {
        EXPECT_FALSE(ParseNumber(text, '.').has_value()) << "text: " << text;
    }
}

TEST(ParseNumber, UsesOnlyTheGivenSeparator) {
    EXPECT_TRUE(ParseNumber("1,5", ',').has_value());
    EXPECT_FALSE(ParseNumber("1.5", ',').has_value());
}

TEST(ParseNumber, FailsBeyondTheExtendedRangeAndFlushesTinyValuesToZero) {
    EXPECT_EQ(General("1.18973149535723176502E4932"), "1.18973149535723E4932");
    EXPECT_FALSE(ParseNumber("1.189731495357231765021E4932", '.').has_value());
    EXPECT_FALSE(ParseNumber("1E4933", '.').has_value());
    EXPECT_FALSE(ParseNumber("1E99999999999999999999", '.').has_value());
    EXPECT_FALSE(ParseNumber(std::string(5000, '9'), '.').has_value());
    EXPECT_EQ(General("1E-99999999999999999999"), "0");
    EXPECT_EQ(General("-1E-5000"), "0");
}

TEST(FormatFixed, RoundsHalvesAwayFromZeroToDecimalsAndPrecision) {
    EXPECT_EQ(Fixed("2.5", 0), "3");
    EXPECT_EQ(Fixed("-2.5", 0), "-3");
    EXPECT_EQ(Fixed("-0.4", 0), "0");
    EXPECT_EQ(Fixed("-0.004", 2), "0.00");
    EXPECT_EQ(Fixed("0.05", 0), "0");
    EXPECT_EQ(Fixed("9.995", 2), "10.00");
    EXPECT_EQ(Fixed("1.5", 3), "1.500");
    EXPECT_EQ(Fixed("123.456789", 6), "123.456790");  // eight significant digits at most
    // Eighteen significant digits come first: the 19th decides, then the rounding to decimals.
    EXPECT_EQ(Fixed("0.4999999999999999995", 0), "1");
    EXPECT_EQ(Fixed("0.4999999999999999949", 0), "0");
    EXPECT_EQ(Fixed("12345678.9", 0), "12345679");
    EXPECT_EQ(Fixed("-99999999.5", 0), "-1E8");
}

TEST(FormatFixed, FallsBackToGeneralNotationBeyondEightIntegerDigits) {
    EXPECT_EQ(Fixed("123456789", 0), "1.2345679E8");
    EXPECT_EQ(Fixed("100000000", 0), "1E8");
    EXPECT_EQ(Fixed("123456789", 2), "1.2345679E8");
}

TEST(FormatGeneral, WritesDigitsUpToThePrecisionThenExponentForm) {
    EXPECT_EQ(General("123456789", 8), "1.2345679E8");
    EXPECT_EQ(General("999999999999999"), "999999999999999");
    EXPECT_EQ(General("1E15"), "1E15");
    EXPECT_EQ(General("-1234567890123456789"), "-1.23456789012346E18");
    EXPECT_EQ(General("1E15", 15), "1E15");
    EXPECT_EQ(General("1234567890123456785"), "1.23456789012346E18");
}

TEST(FormatGeneral, WritesTheSeparatorItIsGiven) {
    const auto value = ParseNumber("12345678901234567", ',');
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(FormatGeneral(*value, 15, ','), "1,23456789012346E16");
}

}  // namespace
}  // namespace station
