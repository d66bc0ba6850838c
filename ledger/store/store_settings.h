#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>

#include "broker/publish_settings.h"
#include "common/weighing_chain.h"

namespace station::ledger {

// What the store is told: the broker and how it shares the flow, the database, the first month
// asked of a station never seen, and the rooms kept.
struct StoreSettings {
    PublishSettings broker;
    std::string share;          // a shared subscription's group for the weighings; empty: none
    bool follow_halls = false;  // hall brokers bridged to the ledger's say their links' states
    std::string database_url;
    std::string database_password;
    int first_month = 0;          // yyyymm
    std::set<std::string> rooms;  // the only rooms kept; empty: any
    std::size_t most_rooms = 500;
    // A weighing's client id must be its room's name, as under the broker recipe, where the ACL
    // proves the room and a login's client id is its user name; otherwise a room's client id is
    // the one of its first weighing.
    bool client_id_is_room = false;
    // Signing rooms' weighings are verified (seal_check.h): each room's key pinned here, or taken
    // from its first weighing verified.
    bool verify_seals = false;
    std::map<std::string, PublicKey> pinned_keys;
};

}  // namespace station::ledger
