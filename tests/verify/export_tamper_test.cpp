// A plant ledger's CSV export of signed weighings, as its page writes it, changed in a spreadsheet
// and checked by the auditor's command.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/weighing_chain.h"
#include "ledger/page/page_shapes.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace station {
namespace {

// Four weighings of one day, the first three signed by `key` in one chain, the last by `other`.
std::vector<ledger::StoredWeighing> Signed(const KeyPair& key, const KeyPair& other) {
    std::vector<ledger::StoredWeighing> rows;
    ChainLink link{};
    for (int i = 0; i < 4; ++i) {
        const KeyPair& signer = i < 3 ? key : other;
        const std::string reading = std::to_string(10 + i) + ".5";
        const std::string line = "2026-12-03, 10:00:0" + std::to_string(i) + "\twaga2\t" + reading;
        LineSeal seal{.previous = link};
        seal.link = link =
            NextLink(link, *Month::Of(2026, 12), static_cast<std::uint64_t>(i) * 30, line);
        seal.signature = SignLink(signer.secret_key, link);
        seal.key = signer.public_key;
        rows.push_back({"c-a/202612/" + std::to_string(30 * i), "a", 2, reading, reading, "kg",
                        "2026-12-03T10:00:0" + std::to_string(i) + "+01:00", line, false,
                        SealText(seal)});
    }
    return rows;
}

TEST(ExportTamper, TheAuditorNamesEachRowChangedAndPassesTheRest) {
    const KeyPair key = NewKeyPair();
    const KeyPair other = NewKeyPair();
    const struct {
        const char* what;
        std::function<void(std::vector<ledger::StoredWeighing>&)> change;
        int status;
        std::string said;
    } cases[] = {
        {"untouched", [](auto&) {}, 0,
         "export.csv: 3 weighings verified, 0 failed, 1 of other keys"},
        {"a reading changed", [](auto& rows) { rows[1].reading = "99.5"; }, 1,
         "c-a/202612/30: its scale or reading is not its line's"},
        {"the scale changed", [](auto& rows) { rows[2].scale = 1; }, 1,
         "c-a/202612/60: its scale or reading is not its line's"},
        {"a line changed with its reading",
         [](auto& rows) {
             rows[0].line->back() = '7';
             rows[0].reading = "10.7";
         },
         1, "c-a/202612/0: its link does not follow from its line"},
        {"a row moved to another place", [](auto& rows) { rows[2].id = "c-a/202612/90"; }, 1,
         "c-a/202612/90: its link does not follow from its line"},
        {"a signature changed",
         [](auto& rows) {
             char& digit = (*rows[1].seal)[rows[1].seal->size() - 70];  // of the signature
             digit = digit == '0' ? '1' : '0';
         },
         1, "c-a/202612/30: its signature does not verify"},
        {"a seal erased", [](auto& rows) { rows[0].seal = ""; }, 1, "c-a/202612/0: no seal"},
    };
    const test::TempDir dir;
    for (const auto& test : cases) {
        std::vector<ledger::StoredWeighing> rows = Signed(key, other);
        test.change(rows);
        std::string csv = ledger::CsvHeader(true);
        for (const auto& row : rows) {
            ledger::AppendCsvRow(csv, row, true);
        }
        test::WriteFile(dir / "export.csv", csv);
        std::filesystem::remove(dir / "out");  // the program's output is appended
        const int status =
            test::WaitFor(test::Spawn({VERIFY_PROGRAM, "--fingerprint", Fingerprint(key.public_key),
                                       "--export", dir / "export.csv"},
                                      dir / "out"));
        EXPECT_EQ(WEXITSTATUS(status), test.status) << test.what;
        EXPECT_EQ(test::ReadFile(dir / "out").substr(0, test.said.size()), test.said) << test.what;
    }
    // An export without seals (its ledger does not verify them) cannot be checked.
    test::WriteFile(dir / "export.csv", ledger::CsvHeader(false));
    EXPECT_EQ(WEXITSTATUS(test::WaitFor(test::Spawn(
                  {VERIFY_PROGRAM, "--key", Hex(key.public_key), "--export", dir / "export.csv"},
                  dir / "out"))),
              2);
}

}  // namespace
}  // namespace station
