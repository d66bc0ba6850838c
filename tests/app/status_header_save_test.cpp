// Lines of indicators that send status fields before the reading, from a real peer through the
// display and "Zapisz ważenie" into the register, under the locales the station meets.
#include <locale.h>

#include "tests/app/scale_fixture.h"
#include "tests/core/scoped_env.h"

namespace station::test {
namespace {

struct SavedLine {
    const char* received;
    const char* saved;
};

constexpr SavedLine kLines[] = {
    {"ST,GS,+001234.5kg", "1235"}, {"US,NT,   -0.50,kg", "-1"},    {"01ST,GS,     0.0,kg", "0"},
    {"1,ST,GS,+00012.5kg", "13"},  {"S,  45.6 kg", "46"},          {"OL,GS,+    .  kg", "#err"},
    {"ST,GS,+0012,34kg", "#err"},  {"ST,GS,+00012.5kg,1", "#err"}, {"ST,GS,+1.2.3kg", "#err"},
    {"  12.5 kg", "13"},
};

std::string LocaleName(const ::testing::TestParamInfo<const char*>& param) {
    return param.index == 0 ? "C" : "Polish";
}

class StatusHeaderSave : public ScaleTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(StatusHeaderSave, ReadingShownIsTheReadingSaved) {
    ScopedEnv locale("LC_ALL", GetParam());
    if (const locale_t chosen = newlocale(LC_ALL_MASK, "", locale_t{})) {
        freelocale(chosen);
    } else {
        GTEST_SKIP() << GetParam() << " is not installed; scripts/test.sh generates it";
    }
    Listener server;
    StartWithPort(2, server.Port());
    const int peer = ConnectScale(server, 2);
    EXPECT_EQ(form_->Model().DecimalSeparator(), GetParam() == std::string("C") ? '.' : ',');
    clock_.now = {2026, 12, 8, 7, 5, 9, 0};
    std::string expected;
    for (const SavedLine& line : kLines) {
        SendAndWait(peer, 2, std::string(line.received) + "\r\n");
        Box(2).BBsave->click();
        expected += std::string("2026-12-08, 07:05:09\twaga2\t") + line.saved + "\r\n";
    }
    EXPECT_EQ(ReadFile(dir_ / "dane/202612.txt"), expected);
    close(peer);
}

INSTANTIATE_TEST_SUITE_P(Locales, StatusHeaderSave, ::testing::Values("C", "pl_PL.UTF-8"),
                         LocaleName);

}  // namespace
}  // namespace station::test
