// A month saved by the station's register with signing on, changed in every way a person with a
// text editor could, and checked by the auditor's command.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/weighing_chain.h"
#include "core/files/station_key.h"
#include "core/register/register_evidence.h"
#include "core/register/register_signer.h"
#include "core/register/weighing_register.h"
#include "tests/core/fakes.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace station {
namespace {

const Month kMonth = *Month::Of(2026, 12);

std::vector<std::string> Lines(const std::string& bytes) {
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = bytes.find("\r\n", at)) != std::string::npos;
         at = end + 2) {
        lines.push_back(bytes.substr(at, end - at));
    }
    return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line + "\r\n";
    }
    return bytes;
}

class TamperTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::FakeClock clock;
        WeighingRegister weighings(clock, ':', dir_.Path());
        weighings.SignWith(&signer_);
        for (int n = 0; n < 6; ++n) {
            clock.now = {2026, 12, 10, 8, n, 0, 0};
            weighings.SaveWeighing(1 + n % 4, std::to_string(1200 + 7 * n));
        }
    }

    std::string Register() const { return dir_ / "202612.txt"; }
    std::string Evidence() const { return dir_ / "202612.podpisy"; }

    // The command's exit status and output, given the station's key whole or by `fingerprint`.
    std::pair<int, std::string> Verify(const std::string& fingerprint = {}) const {
        const std::string output = dir_ / "verify.out";
        std::remove(output.c_str());
        const int status = test::WaitFor(
            test::Spawn({VERIFY_PROGRAM, fingerprint.empty() ? "--key" : "--fingerprint",
                         fingerprint.empty() ? Hex(signer_.Key()) : fingerprint, Register()},
                        output));
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadFile(output)};
    }

    test::TempDir dir_;
    RegisterSigner signer_{dir_.Path(), NewKeyPair()};
};

TEST_F(TamperTest, EveryEditIsNamedAtItsFirstLine) {
    const auto edit_register = [&](auto change) {
        auto lines = Lines(test::ReadFile(Register()));
        change(lines);
        test::WriteFile(Register(), Joined(lines));
    };
    const auto edit_evidence = [&](auto change) {
        auto lines = Lines(test::ReadFile(Evidence()));
        change(lines);
        test::WriteFile(Evidence(), Joined(lines));
    };
    const std::string original = test::ReadFile(Register());
    const std::string original_evidence = test::ReadFile(Evidence());
    const auto third = Lines(original)[2];
    const auto digit_changed = [](std::string line) {
        line.back() = line.back() == '9' ? '8' : static_cast<char>(line.back() + 1);
        return line;
    };
    struct Case {
        const char* edit;
        std::function<void()> apply;
        std::string named;  // what the command says; empty when the month is whole
    };
    const std::vector<Case> cases = {
        {"untouched", [] {}, ""},
        {"a digit changed", [&] { edit_register([&](auto& l) { l[2] = digit_changed(l[2]); }); },
         "line 3 altered"},
        {"a line deleted", [&] { edit_register([](auto& l) { l.erase(l.begin() + 2); }); },
         "line 3 removed"},
        {"a line inserted",
         [&] { edit_register([&](auto& l) { l.insert(l.begin() + 2, digit_changed(third)); }); },
         "line 3 inserted"},
        {"two lines swapped", [&] { edit_register([](auto& l) { std::swap(l[2], l[3]); }); },
         "line 3 reordered"},
        {"truncated", [&] { edit_register([](auto& l) { l.resize(4); }); }, "line 5 removed"},
        {"the last line cut", [&] { edit_register([](auto& l) { l.resize(5); }); },
         "line 6 removed"},
        {"a forged line appended",
         [&] { edit_register([&](auto& l) { l.push_back(digit_changed(l.back())); }); },
         "line 7 added"},
        {"the evidence edited",
         [&] {
             edit_evidence([](auto& l) {
                 for (auto& entry : l) {
                     if (entry.starts_with("wpis\t") &&
                         entry.find(" 08:02:00\t") != std::string::npos) {
                         const std::size_t link = entry.find('\t', 5) + 1;
                         entry[link] = entry[link] == 'a' ? 'b' : 'a';
                     }
                 }
             });
         },
         "line 3 forged evidence"},
        {"both edited alike without the key",
         [&] {
             // The links recomputed (they are public), the signatures kept: none fits any more.
             edit_register([&](auto& l) { l[2] = digit_changed(l[2]); });
             const auto lines = ReadMonthLines(Register()).lines;
             edit_evidence([&](auto& l) {
                 ChainLink link{};
                 std::size_t n = 0;
                 for (auto& entry : l) {
                     const EvidenceRead read = ReadEvidence(entry + "\r\n");
                     if (const auto* line = std::get_if<LineEntry>(&read.entries.at(0))) {
                         LineEntry changed = *line;
                         changed.line = lines[n].line;
                         changed.offset = lines[n++].offset;
                         changed.link = link = NextLink(link, kMonth, changed.offset, changed.line);
                         entry = EvidenceText(changed);
                     }
                 }
             });
         },
         "line 3 forged evidence"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.edit);
        test::WriteFile(Register(), original);
        test::WriteFile(Evidence(), original_evidence);
        c.apply();
        const auto [status, output] = Verify();
        if (c.named.empty()) {
            EXPECT_EQ(status, 0) << output;
            EXPECT_NE(output.find("6 lines verified, 0 failed saves"), std::string::npos) << output;
        } else {
            EXPECT_EQ(status, 1) << output;
            EXPECT_NE(output.find("202612.txt: " + c.named + ": "), std::string::npos) << output;
        }
    }
}

TEST_F(TamperTest, ASaveThatFailedMidWayVerifiesCleanAndAnotherKeyDoesNot) {
    // The evidence of a seventh line went in; the station stopped before the line did. Then it
    // saved on.
    const MonthLines before = ReadMonthLines(Register());
    signer_.BeforeLine(kMonth, before.end, "2026-12-10, 08:06:00\twaga1\t9999");
    test::FakeClock clock;
    clock.now = {2026, 12, 10, 8, 7, 0, 0};
    WeighingRegister weighings(clock, ':', dir_.Path());
    weighings.SignWith(&signer_);
    weighings.SaveWeighing(2, "1300");
    auto [status, output] = Verify();
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("7 lines verified, 1 failed saves"), std::string::npos) << output;

    std::tie(status, output) = Verify(Fingerprint(signer_.Key()));
    EXPECT_EQ(status, 0) << output;
    std::tie(status, output) = Verify(Fingerprint(NewKeyPair().public_key));
    EXPECT_EQ(status, 1) << output;
    EXPECT_NE(output.find("line 1 forged evidence"), std::string::npos) << output;
}

// A key renewed midway, as `tarvelio --new-key` does: the month's chain goes on under the new key,
// which the old one announced, and the auditor's fingerprint of the old key checks it whole. A new
// key that nothing announced breaks it where it first signs.
TEST(KeyRenewal, TheOldKeysWordCarriesTheMonthOverAndNothingElseDoes) {
    for (const bool announced : {true, false}) {
        const test::TempDir dir;
        const std::string key_path = dir / "klucz.podpisu";
        const StationKey first = LoadOrMakeStationKey(key_path);
        test::FakeClock clock;
        const auto save = [&](const StationKey& key, int minute) {
            RegisterSigner signer(dir.Path(), key.key, key.announced);
            WeighingRegister weighings(clock, ':', dir.Path());
            weighings.SignWith(&signer);
            clock.now = {2026, 12, 10, 8, minute, 0, 0};
            weighings.SaveWeighing(1, std::to_string(100 + minute));
        };
        save(first, 0);
        save(first, 1);
        EXPECT_TRUE(RenewStationKey(key_path).announced);
        if (!announced) {
            std::filesystem::remove(key_path + ".zapowiedz");
        }
        const StationKey second = LoadOrMakeStationKey(key_path);
        EXPECT_NE(second.key.public_key, first.key.public_key);
        EXPECT_EQ(second.announced.has_value(), announced);
        save(second, 2);
        save(second, 3);
        test::WriteFile(dir / "out", "");
        const int status =
            test::WaitFor(test::Spawn({VERIFY_PROGRAM, "--fingerprint",
                                       Fingerprint(first.key.public_key), dir / "202612.txt"},
                                      dir / "out"));
        const std::string said = test::ReadFile(dir / "out");
        EXPECT_EQ(WEXITSTATUS(status), announced ? 0 : 1) << said;
        EXPECT_NE(said.find(announced ? "4 lines verified" : "line 3 forged evidence"),
                  std::string::npos)
            << said;
    }
}

}  // namespace
}  // namespace station
