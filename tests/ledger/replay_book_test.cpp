#include "ledger/store/replay_book.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "base/poll_loop.h"

namespace station::ledger {
namespace {

using namespace std::chrono_literals;
using Stored = LedgerTables::Stored;

protocol::LinePlace Place(int yyyymm, std::uint64_t offset) {
    return {*Month::OfYyyymm(yyyymm), offset};
}

// A weighing of `room` whose line lies at yyyymm/at, the line before ending at `after`.
WeighingRow Weighing(const std::string& room, int yyyymm, std::uint64_t after, std::uint64_t at,
                     std::uint64_t next, const std::string& client_id = "") {
    WeighingRow row;
    row.station = room;
    row.client_id = client_id.empty() ? "c-" + room : client_id;
    row.month = yyyymm;
    row.place = Place(yyyymm, at);
    row.after = Place(yyyymm, after);
    row.next = next;
    return row;
}

// Each step's asks, tells and moves, on the loop's time with the database and broker faked.
class ReplayBookTest : public ::testing::Test {
protected:
    ReplayBook::Handlers Faked() {
        return {[this](const std::string& client_id, protocol::LinePlace from) {
                    const auto walked = walks_.find(client_id);
                    return walked == walks_.end() ? from : std::max(from, walked->second);
                },
                [this](const std::string& room, const std::string&) {
                    said_.push_back("published " + room);
                    return !broker_away_;
                },
                [this](const std::string& room, protocol::LinePlace from, const std::string&) {
                    said_.push_back("asked " + room + " " + from.Text());
                },
                [this](const std::string& room, std::uint64_t fresh, std::uint64_t held) {
                    said_.push_back("through " + room + " " + std::to_string(fresh) + "+" +
                                    std::to_string(held));
                },
                [this](const std::string& room, protocol::LinePlace place) {
                    said_.push_back("moved " + room + " " + place.Text());
                }};
    }
    void Bound(const WeighingRow& row) {
        const ReplayBook::Binding binding = book_.Bind(row);
        said_.push_back(binding.refused.empty() ? "bound " + row.client_id : binding.refused);
        if (binding.refused.empty()) {
            book_.Heard(row);
        }
    }
    PollLoop loop_;
    std::map<std::string, protocol::LinePlace> walks_;  // the database holds up to here
    bool broker_away_ = false;
    std::vector<std::string> said_;  // what the book asked and told, in order
    ReplayBook book_{loop_, Faked(), 202601, false, "ledger"};
};

TEST_F(ReplayBookTest, AsksOncePerRoundFromThePlaceHeldAndMovesItOnlyOverWhatFollowsOn) {
    const std::vector<LedgerTables::Station> stored = {
        {"old", "c-old", 202611, std::nullopt, {}, {}},           // before places: the month before
        {"kept", "c-kept", 202612, Place(202612, 300), {}, {}},   // its place
        {"lagging", "c-lag", 202612, Place(202610, 50), {}, {}},  // never before the month before
    };
    const struct {
        const char* step;
        std::function<void()> act;
        std::vector<std::string> said;
    } steps[] = {
        {"load, a new room heard, the broker away: nothing asked",
         [&] {
             book_.Load(stored);
             book_.Add("new");
             broker_away_ = true;
             book_.AskOwed();
         },
         {"published kept", "published lagging", "published new", "published old"}},
        {"the broker back: each asked from its place",
         [&] {
             broker_away_ = false;
             book_.AskOwed();
         },
         {"published kept", "asked kept 202612/300", "published lagging", "asked lagging 202611/0",
          "published new", "asked new 202601/0", "published old", "asked old 202610/0"}},
        {"the same round: none again",
         [&] {
             book_.AskOwed();
             book_.AskIfOwed("kept");
         },
         {}},
        {"nothing is through within the station's interval", [&] { loop_.Advance(62s); }, {}},
        {"a weighing that follows on puts its through off, and moves the place once stored",
         [&] { Bound(Weighing("kept", 202612, 280, 300, 340)); },
         {"bound c-kept"}},
        {"",
         [&] { book_.Stored({Weighing("kept", 202612, 280, 300, 340)}, {Stored::kNew}); },
         {"moved kept 202612/340"}},
        {"one after a gap does not",
         [&] { book_.Stored({Weighing("kept", 202612, 360, 380, 400)}, {Stored::kNew}); },
         {}},
        {"one held already is walked over in the database",
         [&] {
             walks_.insert_or_assign("c-kept", Place(202612, 400));
             book_.Stored({Weighing("kept", 202612, 340, 360, 380)}, {Stored::kHeldAlready});
         },
         {"moved kept 202612/400"}},
        {"another room's client id, and another id for a bound room, are refused",
         [&] {
             Bound(Weighing("new", 202612, 0, 0, 10, "c-kept"));
             Bound(Weighing("kept", 202612, 0, 0, 10, "c-other"));
         },
         {"claimed by station kept", "the station's client id is c-kept"}},
        {"an erased request is published again while its replay runs",
         [&] { said_.push_back(book_.RequestErased("old") ? "again" : "not again"); },
         {"published old", "again"}},
        {"through once quiet",
         [&] { loop_.Advance(3s); },
         {"through lagging 0+0", "through new 0+0", "through old 0+0"}},
        {"", [&] { loop_.Advance(2s); }, {"through kept 2+1"}},
        {"after it, an erased request stays erased",
         [&] { said_.push_back(book_.RequestErased("old") ? "again" : "not again"); },
         {"not again"}},
        {"a new round asks again, from the places moved",
         [&] {
             book_.NewRound();
             book_.AskIfOwed("kept");
         },
         {"published kept", "asked kept 202612/400"}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        step.act();
        EXPECT_EQ(said_, step.said);
        said_.clear();
    }
}

}  // namespace
}  // namespace station::ledger
