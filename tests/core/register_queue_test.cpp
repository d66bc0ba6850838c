// The register read back as a queue, and the delivery state kept beside it: the places handed
// out stay good across saves, and nothing is stepped over or mistaken for a first start.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/files/io_error.h"
#include "core/register/delivery_state.h"
#include "core/register/register_reader.h"
#include "core/register/weighing_register.h"
#include "tests/support/temp_dir.h"

namespace station {
namespace {

using test::TempDir;
using test::WriteFile;
using Lines = std::vector<std::string>;

const std::string kFirst = "2026-12-02, 10:00:00\twaga1\t5";
const std::string kSecond = "2026-12-02, 11:00:00\twaga2\t7";

Lines LinesAfter(const std::string& directory, const RegisterPosition& from, std::size_t limit) {
    Lines read;
    for (const RegisterEntry& entry : ReadRegisterAfter(directory, from, limit).entries) {
        read.push_back(entry.line);
    }
    return read;
}

TEST(RegisterQueue, ReadsWholeLinesAfterAPlaceAcrossMonths) {
    const TempDir dir;
    WriteFile(dir / "202611.txt", "a\r\nb\r\n");
    WriteFile(dir / "202612.txt", "c\r\nd\r\npartial");
    WriteFile(dir / "2026.txt", "not a month\r\n");
    EXPECT_EQ(LinesAfter(dir.Path(), {}, 10), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(LinesAfter(dir.Path(), {Month::Of(2026, 11), 3}, 10), (Lines{"b", "c", "d"}));
    EXPECT_EQ(LinesAfter(dir.Path(), {Month::Of(2026, 11), 3}, 2), (Lines{"b", "c"}));
    EXPECT_EQ(LinesAfter(dir.Path(), {Month::Of(2026, 12), 6}, 10), Lines{});
    const RegisterRead read = ReadRegisterAfter(dir.Path(), {Month::Of(2026, 12), 0}, 1);
    ASSERT_EQ(read.entries.size(), 1u);
    EXPECT_EQ(read.entries[0].end, (RegisterPosition{Month::Of(2026, 12), 3}));
    EXPECT_EQ(LinesAfter(dir.Path(), read.entries[0].end, 10), Lines{"d"});
    EXPECT_EQ(RegisterEnd(dir.Path()), (RegisterPosition{Month::Of(2026, 12), 6}))
        << "after the last whole line, not in the middle of one";

    RegisterLineCount count(dir.Path());
    EXPECT_EQ(count.After({Month::Of(2026, 11), 3}), 3u);
    WriteFile(dir / "202612.txt", "c\r\nd\r\npartial, now whole\r\n");
    EXPECT_EQ(count.After({Month::Of(2026, 11), 3}), 3u) << "read again only once told";
    count.Grew();
    EXPECT_EQ(count.After({Month::Of(2026, 11), 3}), 4u);
    EXPECT_EQ(count.After({Month::Of(2026, 12), 6}), 1u);
}

TEST(RegisterQueue, APlaceTakenBeforeASaveStaysGoodWhenTheSaveCutsEndMarks) {
    const TempDir dir;
    WriteFile(dir / "202612.txt", kFirst + "\r\n\x1a\x1a");
    const RegisterPosition before = RegisterEnd(dir.Path());
    EXPECT_EQ(before, (RegisterPosition{Month::Of(2026, 12), kFirst.size() + 2}));
    EXPECT_EQ(LinesAfter(dir.Path(), before, 10), Lines{}) << "marks are no line";

    AppendLineToFile(dir / "202612.txt", kSecond);
    EXPECT_EQ(LinesAfter(dir.Path(), before, 10), Lines{kSecond});
    EXPECT_EQ(LinesAfter(dir.Path(), {}, 10), (Lines{kFirst, kSecond}));
}

TEST(RegisterQueue, AMonthFileThatCannotBeReadStopsTheReaderThere) {
    const TempDir dir;
    WriteFile(dir / "202610.txt", kFirst + "\r\n");
    std::filesystem::create_directory(dir / "202611.txt");
    WriteFile(dir / "202612.txt", kSecond + "\r\n");
    const RegisterRead read = ReadRegisterAfter(dir.Path(), {}, 10);
    ASSERT_EQ(read.entries.size(), 1u) << "the lines before it still come";
    EXPECT_EQ(read.entries[0].line, kFirst);
    EXPECT_NE(read.problem.find("202611.txt"), std::string::npos) << read.problem;
    EXPECT_EQ(RegisterLineCount(dir.Path()).After({}), 1u);

    std::filesystem::remove(dir / "202611.txt");
    EXPECT_EQ(LinesAfter(dir.Path(), read.entries[0].end, 10), Lines{kSecond});
}

struct StateCase {
    const char* name;
    const char* content;  // nullptr: no file; "/": a directory in its place
    DeliveryState::Kind kind;
    RegisterPosition place;
};

TEST(DeliveryState, DamagedIsToldFromMissingAndStartsAgainWhereItCanBeTrusted) {
    using Kind = DeliveryState::Kind;
    const TempDir dir;
    WriteFile(dir / "202612.txt", kFirst + "\r\n" + kSecond + "\r\n");
    const std::string after_first = std::to_string(kFirst.size() + 2);
    const LocalTime january{2027, 1, 5, 8, 0, 0, 0};  // the month before is last year's
    const StateCase cases[] = {
        {"missing", nullptr, Kind::kMissing, {}},
        {"before every file", " 0\n", Kind::kRead, {}},
        {"after a line", "202612.txt 30\n", Kind::kRead, {Month::Of(2026, 12), 30}},
        {"no offset", "202612.txt\n", Kind::kDamaged, {Month::Of(2026, 12), 0}},
        {"inside a line", "202612.txt 3\n", Kind::kDamaged, {Month::Of(2026, 12), 0}},
        {"beyond the end", "202612.txt 9999\n", Kind::kDamaged, {Month::Of(2026, 12), 0}},
        {"more after the offset", "202612.txt 30 x\n", Kind::kDamaged, {Month::Of(2026, 12), 0}},
        {"empty", "", Kind::kDamaged, {Month::Of(2026, 12), 0}},
        {"garbage", "\x7f\xff\x01 12", Kind::kDamaged, {Month::Of(2026, 12), 0}},
        {"a directory", "/", Kind::kDamaged, {Month::Of(2026, 12), 0}},
    };
    ASSERT_EQ(after_first, "30");
    for (const StateCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(dir / "state");
        if (c.content != nullptr && std::string(c.content) == "/") {
            std::filesystem::create_directory(dir / "state");
        } else if (c.content != nullptr) {
            WriteFile(dir / "state", c.content);
        }
        const DeliveryState state = LoadDeliveryState(dir / "state", dir.Path(), january);
        EXPECT_EQ(state.kind, c.kind);
        EXPECT_EQ(state.place, c.place);
        EXPECT_EQ(state.damage.empty(), c.kind != Kind::kDamaged) << state.damage;
    }

    std::filesystem::remove_all(dir / "state");
    StoreDeliveryState(dir / "state", {Month::Of(2026, 12), 30});
    EXPECT_EQ(LoadDeliveryState(dir / "state", dir.Path(), january).place,
              (RegisterPosition{Month::Of(2026, 12), 30}));
    EXPECT_THROW(StoreDeliveryState(dir / "202612.txt/state", {}), InOutError);
}

}  // namespace
}  // namespace station
