#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "common/weighing_chain.h"

namespace station {

// The station's signing key in the file at `path`: the hex of libsodium's 64-byte secret key
// (which ends with the public key) and LF, readable and writable by the station's user alone.
// Made at the first start with signing on; a file that is there but is no key is never
// replaced, since the register's evidence names the key it held.
// The previous key's word for this one (common/weighing_chain.h), kept beside the key file in
// "<key>.zapowiedz" (the previous public key and its signature over this one, hex, one line), so
// that each month's chain goes on through a key change.
struct KeyAnnouncement {
    PublicKey previous{};
    Signature signature{};
};

struct StationKey {
    KeyPair key;
    bool made = false;                         // by this call
    std::optional<KeyAnnouncement> announced;  // where the previous key signed this one
};

// Throws StationKeyError, naming the file and why.
StationKey LoadOrMakeStationKey(const std::string& path);

// A new key in place of the one at `path` (made first if there is none), announced by the old
// one's signature; the old secret is gone. A crash midway leaves the old key whole, or the new
// one with its announcement. Throws StationKeyError.
StationKey RenewStationKey(const std::string& path);

class StationKeyError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace station
