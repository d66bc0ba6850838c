#include "core/text/number_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <span>
#include <string>

#include "tests/core/fakes.h"
#include "tests/core/scoped_env.h"

namespace station {
namespace {

struct Example {
    const char* line;
    const char* display;
};

// What a scale line shows, whichever decimal mark the locale uses.
constexpr Example kWorkedExamples[] = {
    {"  12.5 kg", "13"},
    {"+00123.4kg", "123"},
    {"ST,GS,+00123.4kg", "123"},  // the field behind the status header
    {"-0,50", "-1"},
    {"-0.4", "0"},
    {"2.5", "3"},
    {"12,49", "12"},
    {"ST-GS 12.0", "-12"},
    {"W1 -12", "#err"},
    {"abc", "#err"},
    {"   ", "#err"},
    {"1.2.3", "#err"},
    {"1.5E+3", "2"},
    {".", "0"},
    {",", "0"},
    {"-", "#err"},
    {"123456789", "123456790"},
    {"1234567890123456789", "1.2345679E18"},
    {"0.5", "1"},
    {"-2.5", "-3"},
    {"1,234.5", "#err"},
    {"5.", "5"},
    {".5", "1"},
    {"-.5", "-1"},
    {"--5", "#err"},
    {"5-", "#err"},
    {"99999999.4", "99999999"},
    {"99999999.5", "100000000"},
    {"999999999999999", "1E15"},
    {"999999985000000", "999999990000000"},
    {"999999995000000", "1E15"},
    {"-1234567890123456789", "-1.2345679E18"},
    {"100000000000000000000", "1E20"},
    {"0000000000000000000000001", "1"},
    {"0.4999999999999999999", "1"},  // 18 significant digits first: 0.5, then rounded
    {"0.49999999999999999", "0"},
    {"waga\t\x01\xff 7", "7"},
};

// Lines whose commas part status fields from the reading.
constexpr Example kStatusHeaderExamples[] = {
    {"ST,GS,+001234.5kg", "1235"},
    {"US,NT,   -0.50,kg", "-1"},
    {"01ST,GS,     0.0,kg", "0"},
    {"1,ST,GS,+00012.5kg", "13"},
    {"S,  45.6 kg", "46"},
    {"OL,GS,+    .  kg", "#err"},    // no digit at all
    {"ST,GS,+0012,34kg", "#err"},    // a decimal comma, not a field comma
    {"ST,GS,+00012.5kg,1", "#err"},  // digits in the field before
    {"ST,GS,+1.2.3kg", "#err"},      // the field is no number either
    {"12,5", "13"},                  // one number: read as before
    {"12,", "12"},
    {",5", "1"},
    {"-,ST,GS,7", "7"},
};

class WorkedExamples : public ::testing::TestWithParam<char> {};

TEST_P(WorkedExamples, ShowTheSameUnderEverySeparator) {
    test::DecoderRig rig(GetParam());
    for (const auto& table : {std::span<const Example>(kWorkedExamples),
                              std::span<const Example>(kStatusHeaderExamples)}) {
        for (const Example& example : table) {
            EXPECT_EQ(rig.Display(example.line), example.display) << "line: " << example.line;
        }
    }
}

TEST_P(WorkedExamples, EmptyLineIsLoggedButChangesNoDisplay) {
    test::DecoderRig rig(GetParam());
    EXPECT_EQ(rig.Display(""), "");
    ASSERT_EQ(rig.log.Lines().size(), 1u);
    EXPECT_EQ(rig.log.Lines()[0], "14-03-07.045 1  << ");
}

TEST_P(WorkedExamples, ExtractNumberWritesAPointAndReportsFailures) {
    const char separator = GetParam();
    EXPECT_EQ(ExtractNumber("kg", 0, separator), "");
    EXPECT_EQ(ExtractNumber("1.2.3", 0, separator), "err");
    EXPECT_EQ(ExtractNumber("-12,345", 2, separator), "-12.35");
    EXPECT_EQ(ExtractNumber("0.001", 2, separator), "0.00");
    EXPECT_EQ(ExtractNumber("-0.001", 2, separator), "0.00");
    EXPECT_EQ(ExtractNumber("123456789", 0, separator), "1.2345679E8");
    EXPECT_EQ(ExtractNumber("1234.56789", 6, separator), "1234.567900");
}

INSTANTIATE_TEST_SUITE_P(CommaAndPoint, WorkedExamples, ::testing::Values(',', '.'),
                         test::SeparatorName);

TEST(ExoticSeparator, DecimalMarksFailWhileWholeNumbersDecode) {
    test::DecoderRig rig('\'');
    EXPECT_EQ(ToLocalDecimal("1.5,2", '\''), "1,5,2");
    EXPECT_EQ(rig.Display("12.5 kg"), "#err");
    EXPECT_EQ(rig.Display("12,5 kg"), "#err");
    EXPECT_EQ(rig.Display("  +0042 kg"), "42");
    EXPECT_EQ(rig.Display("1234567890123456789"), "1'2345679E18");
}

TEST(TextHelpers, LeaveEverythingButTheirOwnCharacterAlone) {
    EXPECT_EQ(RemoveSpaces(" a\tb  c "), "a\tbc");
    EXPECT_EQ(CommasToDots("1,2.3,"), "1.2.3.");
    EXPECT_EQ(ToLocalDecimal("1,2.3", '.'), "1.2.3");
    EXPECT_EQ(ToLocalDecimal("1,2.3", ','), "1,2,3");
    EXPECT_EQ(ToLocalDecimal("", ','), "");
}

TEST(DetectDecimalSeparator, FollowsTheUsersLocale) {
    {
        test::ScopedEnv locale("LC_ALL", "C");
        EXPECT_EQ(DetectDecimalSeparator(), '.');
    }
    {
        test::ScopedEnv locale("LC_ALL", "pl_PL.UTF-8");
        const locale_t polish = newlocale(LC_NUMERIC_MASK, "", locale_t{});
        if (polish == locale_t{}) {
            GTEST_SKIP() << "pl_PL.UTF-8 is not installed; scripts/test.sh generates it";
        }
        freelocale(polish);
        EXPECT_EQ(DetectDecimalSeparator(), ',');
    }
    {
        test::ScopedEnv locale("LC_ALL", "no_such_LOCALE");
        EXPECT_EQ(DetectDecimalSeparator(), '.');
    }
}

}  // namespace
}  // namespace station
