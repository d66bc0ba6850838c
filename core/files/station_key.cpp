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

std::string AnnouncementPath(const std::string& key_path) {
    return key_path + ".zapowiedz";
}

// `bytes` in a new file at `path`, only the station's user's, on disk; false with errno when not,
// and then no such file.
bool WriteNew(const std::string& path, const std::string& bytes) {
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!file.IsOpen()) {
        return false;
    }
    if (!WriteAll(file.Get(), bytes) || ::fsync(file.Get()) != 0 || !file.Close()) {
        const int error = errno;
        ::unlink(path.c_str());  // ours, and not whole
        errno = error;
        return false;
    }
    return true;
}

// The announcement beside the key, where it is the previous key's word for `key`.
std::optional<KeyAnnouncement> ReadAnnouncement(const std::string& key_path, const PublicKey& key) {
    std::string text;
    if (ReadWhole(AnnouncementPath(key_path), text) != ReadResult::kRead ||
        text.size() != 64 + 1 + 128 + 1 || text[64] != ' ' || text.back() != '\n') {
        return std::nullopt;
    }
    const auto previous = FromHex<32>(std::string_view(text).substr(0, 64));
    const auto signature = FromHex<64>(std::string_view(text).substr(65, 128));
    if (!previous || !signature || !NewKeyVerifies(*previous, key, *signature)) {
        return std::nullopt;
    }
    return KeyAnnouncement{*previous, *signature};
}

// `bytes` in place of the file at `path`, whole or not at all.
void Replace(const std::string& path, const std::string& bytes) {
    const std::string next = path + ".nowy";
    ::unlink(next.c_str());  // what a crash left
    if (!WriteNew(next, bytes) || ::rename(next.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(next.c_str());
        Fail(path, std::strerror(error));
    }
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
            return {pair, false, ReadAnnouncement(path, pair.public_key)};
        }
        case ReadResult::kMissing:
            break;
        default:
            Fail(path, std::strerror(errno));
    }
    const KeyPair pair = NewKeyPair();
    // Only the station's user may read it; never over a file made meanwhile. A failed write
    // leaves no key: the next start makes one again.
    if (!WriteNew(path, Hex(pair.secret_key) + "\n")) {
        Fail(path, std::strerror(errno));
    }
    return {pair, true, std::nullopt};
}

StationKey RenewStationKey(const std::string& path) {
    const StationKey old = LoadOrMakeStationKey(path);
    const KeyPair pair = NewKeyPair();
    // The announcement first: beside the old key it is no word for it, and is passed over.
    const Signature word = SignNewKey(old.key.secret_key, pair.public_key);
    Replace(AnnouncementPath(path), Hex(old.key.public_key) + " " + Hex(word) + "\n");
    Replace(path, Hex(pair.secret_key) + "\n");
    return {pair, true, KeyAnnouncement{old.key.public_key, word}};
}

}  // namespace station
