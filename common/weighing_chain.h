#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/month.h"

namespace station {

// What ties a register line to the station that saved it and to every line before it. A line's
// link is SHA-256 over the previous link of its month (32 zero bytes before the month's first
// line), the line's place ("yyyymm/OFFSET", LF) and the line's bytes; the station signs each link
// with its Ed25519 key. Whoever recomputes the links of a month's lines and verifies the newest
// signature has checked every line up to it: a changed, inserted, removed or reordered line
// changes every link after it. A new key is announced by a signature of the old key over it.
using ChainLink = std::array<unsigned char, 32>;
using PublicKey = std::array<unsigned char, 32>;
using SecretKey = std::array<unsigned char, 64>;  // libsodium's: the seed and the public key
using Signature = std::array<unsigned char, 64>;

struct KeyPair {
    PublicKey public_key{};
    SecretKey secret_key{};
};

// What ties a signing station's line to its key and to the line before it in its month's chain,
// as it leaves the station: the previous link, the line's link, its signature and the key that
// made it. Whoever holds the line recomputes its link from the previous one; the signature of the
// last of lines whose links follow on from each other vouches for them all.
struct LineSeal {
    ChainLink previous{};
    ChainLink link{};
    Signature signature{};
    PublicKey key{};
    // After a key change: the previous key's signature over `key` (SignNewKey), so that whoever
    // knew the previous key may take this one.
    std::optional<Signature> key_word = std::nullopt;
};

// A seal as one text (the ledger's column and its exports): its four values in hex, in that
// order, split by blanks (the key's word is not kept); and back, nothing unless `text` is exactly
// that.
std::string SealText(const LineSeal& seal);
std::optional<LineSeal> ReadSealText(std::string_view text);

// The link of the line at byte `offset` of `month`'s register, after `previous`.
ChainLink NextLink(const ChainLink& previous, Month month, std::uint64_t offset,
                   std::string_view line);

KeyPair NewKeyPair();
Signature SignLink(const SecretKey& key, const ChainLink& link);
bool LinkVerifies(const PublicKey& key, const ChainLink& link, const Signature& signature);
// The old key's word for the new one.
Signature SignNewKey(const SecretKey& old_key, const PublicKey& new_key);
bool NewKeyVerifies(const PublicKey& old_key, const PublicKey& new_key, const Signature& signature);

// A key's short fingerprint, as shown to installers: the first 8 bytes of the key's SHA-256 in
// four groups of lower-case hex ("3f2a-9c01-77de-b410").
std::string Fingerprint(const PublicKey& key);

// Lower-case hex of `bytes`; and back, nothing unless `text` is exactly that many bytes of hex.
template <std::size_t N>
std::string Hex(const std::array<unsigned char, N>& bytes);
template <std::size_t N>
std::optional<std::array<unsigned char, N>> FromHex(std::string_view text);

}  // namespace station
