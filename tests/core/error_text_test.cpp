#include "core/text/error_text.h"

#include <gtest/gtest.h>

namespace station::test {
namespace {

TEST(ErrorReportText, PointFollowsCharactersAboveThePoint) {
    EXPECT_EQ(ErrorReportText("Disk full"), "Disk full.");
    EXPECT_EQ(ErrorReportText("I/O error 5"), "I/O error 5.");
    EXPECT_EQ(ErrorReportText("Unable to write to dane/konfig.ini"),
              "Unable to write to dane/konfig.ini.");
    EXPECT_EQ(ErrorReportText("path/"), "path/.");                 // '/' is 47
    EXPECT_EQ(ErrorReportText("b\xB9"), "b\xB9.");                 // 8-bit letters too
    EXPECT_EQ(ErrorReportText("on API 'recv'"), "on API 'recv'");  // quote is 39
    EXPECT_EQ(ErrorReportText("Done."), "Done.");
    EXPECT_EQ(ErrorReportText("(5)"), "(5)");
    EXPECT_EQ(ErrorReportText("a-"), "a-");
    EXPECT_EQ(ErrorReportText("Zero "), "Zero ");
    EXPECT_EQ(ErrorReportText(""), "");
}

}  // namespace
}  // namespace station::test
