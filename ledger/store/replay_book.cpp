#include "ledger/store/replay_book.h"

#include <sys/random.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <set>
#include <system_error>
#include <utility>

#include "protocol/replay_request.h"

namespace station::ledger {
namespace {

// 128 random bits in hex: a station honours a token once ever, so no request of any ledger
// process, however quickly it follows a killed one, may repeat one.
std::string RandomToken() {
    std::array<unsigned char, 16> bytes{};
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::getrandom(bytes.data() + got, bytes.size() - got, 0);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "getrandom");
        }
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    for (const unsigned char byte : bytes) {
        token += kHex[byte >> 4];
        token += kHex[byte & 0xf];
    }
    return token;
}

}  // namespace

ReplayBook::ReplayBook(EventLoop& loop, Handlers handlers, int first_month, bool client_id_is_room,
                       std::string asker)
    : loop_(loop),
      handlers_(std::move(handlers)),
      first_month_(first_month),
      client_id_is_room_(client_id_is_room),
      asker_(std::move(asker)) {}

void ReplayBook::Load(const std::vector<LedgerTables::Station>& rows) {
    stations_.clear();
    rooms_by_client_id_.clear();
    for (const LedgerTables::Station& row : rows) {
        Station& station = stations_[row.name];
        station.client_id = row.client_id;
        station.newest_month = station.stored_newest_month = row.newest_month;
        station.held_through = row.held_through;
        if (!row.client_id.empty()) {
            rooms_by_client_id_.emplace(row.client_id, row.name);
        }
    }
}

void ReplayBook::AskOwed() {
    for (auto& [room, station] : stations_) {
        if (station.asked_round != round_) {
            Ask(room, station);
        }
    }
}

void ReplayBook::AskIfOwed(const std::string& room) {
    Station& station = stations_[room];
    if (station.asked_round != round_) {
        Ask(room, station);
    }
}

ReplayBook::Binding ReplayBook::Bind(const WeighingRow& row) {
    if (client_id_is_room_ && row.client_id != row.station) {
        return {"not the room's name, as [Pokoje] client_ids=room asks"};
    }
    Station& station = stations_[row.station];
    if (!station.client_id.empty()) {
        if (station.client_id != row.client_id) {
            return {"the station's client id is " + station.client_id};
        }
        return {};
    }
    const auto [bound, fresh] = rooms_by_client_id_.emplace(row.client_id, row.station);
    if (!fresh && bound->second != row.station) {
        return {"claimed by station " + bound->second};
    }
    station.client_id = row.client_id;
    return {"", true};
}

void ReplayBook::Heard(const WeighingRow& row) {
    Station& station = stations_[row.station];
    AssumeHeld(station);  // as a replay asked before this weighing would have
    station.newest_month = std::max(station.newest_month, row.month);
    if (station.quiet) {
        WaitQuiet(row.station, station, kReplayQuiet);
    }
}

// Before anything is known of a station's register, it is taken as held through the start of the
// month before its newest weighing's (a station never seen: the settings' first month), as replays
// always took it.
void ReplayBook::AssumeHeld(Station& station) const {
    if (station.held_through) {
        return;
    }
    const auto newest = Month::OfYyyymm(station.newest_month);
    if (const auto month = newest ? newest->Previous() : Month::OfYyyymm(first_month_)) {
        station.held_through = protocol::LinePlace{*month, 0};
    }
}

void ReplayBook::Ask(const std::string& room, Station& station) {
    AssumeHeld(station);
    if (!station.held_through) {
        return;  // the settings' month is checked when read
    }
    // Not from before the month before the newest weighing the database held: the place moves on
    // only over weighings that keep their places (not those an older ledger wrote, nor a station's
    // that says none), and what lies before is taken as held. (Not the newest heard since:
    // weighings waiting at the broker for a fresh database would skip the months before theirs.)
    if (const auto newest = Month::OfYyyymm(station.stored_newest_month)) {
        station.held_through =
            std::max(*station.held_through, protocol::LinePlace{newest->Previous(), 0});
    }
    Walk(room, station);
    const protocol::LinePlace from = *station.held_through;
    // The client id names the asker in the station's log; the random part makes it new.
    const std::string token = asker_.substr(0, 100) + "/" + RandomToken();
    std::string request = protocol::WriteReplayRequest({token, from.month, from.offset});
    if (!handlers_.publish_request(room, request)) {
        return;
    }
    station.request = std::move(request);
    station.asked_round = round_;
    station.replay_new = station.replay_held = 0;
    // A station may hold the request for its interval between replays before it sends anything.
    WaitQuiet(room, station, protocol::kReplayInterval + kReplayQuiet);
    handlers_.replay_asked(room, from, token);
}

void ReplayBook::Walk(const std::string& room, Station& station) {
    if (station.client_id.empty()) {
        return;
    }
    const auto walked = handlers_.walk_held(station.client_id, *station.held_through);
    if (walked && *walked != *station.held_through) {
        station.held_through = *walked;
        handlers_.held_moved(room, *walked);
    }
}

void ReplayBook::Stored(const std::vector<WeighingRow>& weighings,
                        const std::vector<LedgerTables::Stored>& fates) {
    std::set<std::string> walk;  // stations with weighings held already: walked by stored places
    for (std::size_t i = 0; i < weighings.size(); ++i) {
        const WeighingRow& row = weighings[i];
        const auto fate = i < fates.size() ? fates[i] : LedgerTables::Stored::kHeldAlready;
        Station& station = stations_[row.station];
        if (fate == LedgerTables::Stored::kNew) {
            ++station.replay_new;
            Hold(row.station, station, row);
        } else {
            ++station.replay_held;
            if (fate == LedgerTables::Stored::kHeldAlready) {
                walk.insert(row.station);
            }
        }
    }
    for (const std::string& room : walk) {
        Station& station = stations_[room];
        if (station.held_through) {
            Walk(room, station);
        }
    }
}

// Only a weighing just stored as new moves the place, by its own places: one held already may
// come with other places than those stored (a stranger's copy that claims a gap is no gap).
void ReplayBook::Hold(const std::string& room, Station& station, const WeighingRow& row) {
    if (!row.place || !row.after || !row.next) {
        return;
    }
    // No weighing lies between `after` and the line: held through `after`, it is held through
    // the line.
    if (station.held_through && *row.after <= *station.held_through &&
        *station.held_through <= *row.place) {
        station.held_through = protocol::LinePlace{row.place->month, *row.next};
        handlers_.held_moved(room, *station.held_through);
    }
}

bool ReplayBook::RequestErased(const std::string& room) {
    const auto station = stations_.find(room);
    return station != stations_.end() && station->second.quiet &&
           !station->second.request.empty() &&
           handlers_.publish_request(room, station->second.request);
}

void ReplayBook::WaitQuiet(const std::string& room, Station& station, std::chrono::seconds wait) {
    station.quiet = loop_.StartTimer(wait, [this, room] { Through(room); });
}

void ReplayBook::Through(const std::string& room) {
    Station& station = stations_[room];
    station.quiet.reset();
    handlers_.replay_through(room, station.replay_new, station.replay_held);
}

}  // namespace station::ledger
