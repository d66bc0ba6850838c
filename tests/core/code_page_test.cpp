#include "common/code_page.h"

#include <gtest/gtest.h>

#include <string>

namespace station {
namespace {

TEST(CodePage, ReadsPolishLettersFromTheEastEuropeanCodePage) {
    EXPECT_EQ(DecodeCp1250("Zapisz wa\xbf"
                           "enie"),
              u"Zapisz ważenie");
    EXPECT_EQ(
        DecodeCp1250("\xa5\xb9\xc6\xe6\xca\xea\xa3\xb3\xd1\xf1\xd3\xf3\x8c\x9c\x8f\x9f\xaf\xbf"),
        u"ĄąĆćĘęŁłŃńÓóŚśŹźŻż");
    EXPECT_EQ(DecodeCp1250("\x80\x96"), u"\u20ac\u2013");
}

TEST(CodePage, EveryByteSurvivesARoundTrip) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte) {
        all += static_cast<char>(byte);
    }
    EXPECT_EQ(EncodeCp1250(DecodeCp1250(all)), all);
    EXPECT_EQ(Utf8ToCp1250(Cp1250ToUtf8(all)), all);
}

// What a station cannot have sent: another code page's letter, an overlong form, a cut sequence.
TEST(CodePage, OnlyTheCodePagesOwnUtf8ReadsBack) {
    for (const char* text : {"Ð¶", "À±", "â", "ð", ""}) {
        EXPECT_EQ(Utf8ToCp1250(text), std::nullopt) << text;
    }
}

TEST(CodePage, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    EXPECT_EQ(EncodeCp1250(u"połącz ж €"),
              "po\xb3\xb9"
              "cz ? \x80");
    EXPECT_EQ(EncodeCp1250(u"\U0001F600"), "??");
}

}  // namespace
}  // namespace station
