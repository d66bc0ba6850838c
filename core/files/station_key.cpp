#include "core/files/station_key.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/file_descriptor.h"
#include "common/fd_io.h"
#include "common/whole_file.h"

namespace station {
namespace {

[[noreturn]] void Fail(const std::string& path, const std::string& why) {
    throw StationKeyError("the signing key " + path + ": " + why);
}

}  // namespace

StationKey LoadOrMakeStationKey(const std::string& path) {
    std::string text;
    switch (ReadWhole(path, text)) {
        case ReadResult::kRead: {
            if (!text.empty() && text.back() == '\n') {
                text.pop_back();
            }
            const auto secret = FromHex<64>(text);
            if (!secret) {
                Fail(path, "not a key; it is left as it is");
            }
            KeyPair pair;
            pair.secret_key = *secret;
            std::memcpy(pair.public_key.data(), secret->data() + 32, 32);
            return {pair, false};
        }
        case ReadResult::kMissing:
            break;
        default:
            Fail(path, std::strerror(errno));
    }
    const KeyPair pair = NewKeyPair();
    // Only the station's user may read it; never over a file made meanwhile.
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    const std::string bytes = Hex(pair.secret_key) + "\n";
    if (!file.IsOpen()) {
        Fail(path, std::strerror(errno));
    }
    if (!WriteAll(file.Get(), bytes) || ::fsync(file.Get()) != 0 || !file.Close()) {
        const int error = errno;
        ::unlink(path.c_str());  // ours, and no key: the next start makes one again
        Fail(path, std::strerror(error));
    }
    return {pair, true};
}

}  // namespace station
