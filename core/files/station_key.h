#pragma once

#include <stdexcept>
#include <string>

#include "common/weighing_chain.h"

namespace station {

// The station's signing key in the file at `path`: the hex of libsodium's 64-byte secret key
// (which ends with the public key) and LF, readable and writable by the station's user alone.
// Made at the first start with signing on; a file that is there but is no key is never
// replaced, since the register's evidence names the key it held.
struct StationKey {
    KeyPair key;
    bool made = false;  // by this call
};

// Throws StationKeyError, naming the file and why.
StationKey LoadOrMakeStationKey(const std::string& path);

class StationKeyError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace station
