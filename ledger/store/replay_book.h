#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/event_loop.h"
#include "ledger/store/ledger_rows.h"
#include "ledger/store/ledger_tables.h"
#include "protocol/weighing_id.h"

namespace station::ledger {

// Per station: whose client id its weighings carry, the place before which the database holds
// every line of its register, the replay asked from there, and when that replay is through. It
// reaches the database and the broker only through its Handlers, so its rules run on the loop's
// time alone.
//
// A station's replay is asked once per round: a round begins at every start, when the broker
// answers without the session it kept (or with one it may have lost meanwhile), and when the
// database is back after being away. It is asked from the place held, never from before the start
// of the month before the newest weighing the database held of it when opened (a station never
// seen: the settings' first month). Before it is asked, the place is walked on over the weighings
// the database holds: a ledger sharing the flow holds only part of it, and the other writes the
// rest. The place moves on over a weighing the database has just stored as new when the weighing
// follows on from it (its line begins where the place is, or no line lies between); one held
// already is walked over by the places stored with it. A moved place is written with the next
// transaction, never ahead of its rows. The replay is through once the station has sent no
// weighing for kReplayQuiet (first: for its interval between replays and kReplayQuiet).
class ReplayBook {
public:
    static constexpr std::chrono::seconds kReplayQuiet{5};

    // What the book asks of the database and the broker, and tells.
    struct Handlers {
        // The place before which the database holds every line of the register of `client_id`,
        // walked on from `from`; nothing while the database cannot be asked.
        std::function<std::optional<protocol::LinePlace>(const std::string& client_id,
                                                         protocol::LinePlace from)>
            walk_held;
        // Publishes `request` as the room's retained replay request; false when it could not.
        std::function<bool(const std::string& room, const std::string& request)> publish_request;
        std::function<void(const std::string& room, protocol::LinePlace from,
                           const std::string& token)>
            replay_asked;
        std::function<void(const std::string& room, std::uint64_t fresh, std::uint64_t held)>
            replay_through;
        // The room's place held moved: written with the next transaction.
        std::function<void(const std::string& room, protocol::LinePlace place)> held_moved;
    };

    // `first_month` (yyyymm) is where a station never seen is asked from; `client_id_is_room`
    // binds each room to the client id of its own name; `asker` names the requests.
    ReplayBook(EventLoop& loop, Handlers handlers, int first_month, bool client_id_is_room,
               std::string asker);

    // The stations as the database holds them, in place of all known.
    void Load(const std::vector<LedgerTables::Station>& rows);
    bool Knows(const std::string& room) const { return stations_.contains(room); }
    void Add(const std::string& room) { stations_.try_emplace(room); }
    void Forget(const std::string& room) { stations_.erase(room); }

    // A new round: every station is owed a replay.
    void NewRound() { ++round_; }
    // Asks the replay of every station owed one, or of `room` alone.
    void AskOwed();
    void AskIfOwed(const std::string& room);

    // Binds the weighing's client id to its room, or says why it is refused: a station cannot take
    // the ids of another, which would keep that one's weighings out. True `bound_first` when the
    // room took its client id now.
    struct Binding {
        std::string refused;
        bool bound_first = false;
    };
    Binding Bind(const WeighingRow& row);
    // A weighing of the room taken for writing.
    void Heard(const WeighingRow& row);
    // What the database made of a batch's weighings, in its order.
    void Stored(const std::vector<WeighingRow>& weighings,
                const std::vector<LedgerTables::Stored>& fates);
    // The room's retained request was erased at the broker: published again, the same, while
    // the station has not answered it. Says whether it was.
    bool RequestErased(const std::string& room);

private:
    struct Station {
        std::string client_id;
        int newest_month = 0;
        int stored_newest_month = 0;  // as the database held it when opened
        // Every line of its register before this place is held (or was never asked for).
        std::optional<protocol::LinePlace> held_through;
        std::uint64_t asked_round = 0;
        // Since the replay last asked: weighings new and held already, and the wait for quiet.
        std::uint64_t replay_new = 0;
        std::uint64_t replay_held = 0;
        std::unique_ptr<Timer> quiet;
        std::string request;  // last published, retained at the broker
    };

    void Ask(const std::string& room, Station& station);
    void AssumeHeld(Station& station) const;
    void Walk(const std::string& room, Station& station);
    void Hold(const std::string& room, Station& station, const WeighingRow& row);
    void Through(const std::string& room);
    void WaitQuiet(const std::string& room, Station& station, std::chrono::seconds wait);

    EventLoop& loop_;
    Handlers handlers_;
    int first_month_;
    bool client_id_is_room_;
    std::string asker_;
    std::map<std::string, Station> stations_;
    std::map<std::string, std::string> rooms_by_client_id_;
    std::uint64_t round_ = 1;
};

}  // namespace station::ledger
