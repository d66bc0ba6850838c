#include "common/weighing_chain.h"

#include <sodium.h>

#include <algorithm>
#include <stdexcept>

namespace station {
namespace {

// What each signature is of, so that a link's signature can never pass for a key's.
constexpr std::string_view kLinkTag = "tarvelio link\n";
constexpr std::string_view kKeyTag = "tarvelio key\n";

void NeedSodium() {
    static const bool kReady = sodium_init() >= 0;
    if (!kReady) {
        throw std::runtime_error("libsodium did not start");
    }
}

template <std::size_t N>
std::string Tagged(std::string_view tag, const std::array<unsigned char, N>& bytes) {
    std::string message(tag);
    message.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return message;
}

Signature SignMessage(const SecretKey& key, const std::string& message) {
    NeedSodium();
    Signature signature{};
    crypto_sign_detached(signature.data(), nullptr,
                         reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                         key.data());
    return signature;
}

bool MessageVerifies(const PublicKey& key, const std::string& message, const Signature& signature) {
    NeedSodium();
    return crypto_sign_verify_detached(signature.data(),
                                       reinterpret_cast<const unsigned char*>(message.data()),
                                       message.size(), key.data()) == 0;
}

}  // namespace

ChainLink NextLink(const ChainLink& previous, Month month, std::uint64_t offset,
                   std::string_view line) {
    NeedSodium();
    const std::string where = month.Text() + "/" + std::to_string(offset) + "\n";
    crypto_hash_sha256_state state;
    crypto_hash_sha256_init(&state);
    crypto_hash_sha256_update(&state, previous.data(), previous.size());
    crypto_hash_sha256_update(&state, reinterpret_cast<const unsigned char*>(where.data()),
                              where.size());
    crypto_hash_sha256_update(&state, reinterpret_cast<const unsigned char*>(line.data()),
                              line.size());
    ChainLink link{};
    crypto_hash_sha256_final(&state, link.data());
    return link;
}

KeyPair NewKeyPair() {
    NeedSodium();
    KeyPair pair;
    crypto_sign_keypair(pair.public_key.data(), pair.secret_key.data());
    return pair;
}

Signature SignLink(const SecretKey& key, const ChainLink& link) {
    return SignMessage(key, Tagged(kLinkTag, link));
}

bool LinkVerifies(const PublicKey& key, const ChainLink& link, const Signature& signature) {
    return MessageVerifies(key, Tagged(kLinkTag, link), signature);
}

Signature SignNewKey(const SecretKey& old_key, const PublicKey& new_key) {
    return SignMessage(old_key, Tagged(kKeyTag, new_key));
}

bool NewKeyVerifies(const PublicKey& old_key, const PublicKey& new_key,
                    const Signature& signature) {
    return MessageVerifies(old_key, Tagged(kKeyTag, new_key), signature);
}

std::string Fingerprint(const PublicKey& key) {
    NeedSodium();
    std::array<unsigned char, crypto_hash_sha256_BYTES> digest{};
    crypto_hash_sha256(digest.data(), key.data(), key.size());
    std::string text;
    for (std::size_t i = 0; i < 8; ++i) {
        if (i > 0 && i % 2 == 0) {
            text += '-';
        }
        text += Hex(std::array<unsigned char, 1>{digest[i]});
    }
    return text;
}

template <std::size_t N>
std::string Hex(const std::array<unsigned char, N>& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * N);
    for (const unsigned char byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xf];
    }
    return text;
}

template <std::size_t N>
std::optional<std::array<unsigned char, N>> FromHex(std::string_view text) {
    if (text.size() != 2 * N) {
        return std::nullopt;
    }
    const auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        return -1;  // upper case too: one text per value
    };
    std::array<unsigned char, N> bytes{};
    for (std::size_t i = 0; i < N; ++i) {
        const int high = digit(text[2 * i]);
        const int low = digit(text[2 * i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes[i] = static_cast<unsigned char>(high << 4 | low);
    }
    return bytes;
}

template std::string Hex(const std::array<unsigned char, 1>&);
template std::string Hex(const std::array<unsigned char, 32>&);
template std::string Hex(const std::array<unsigned char, 64>&);
template std::optional<std::array<unsigned char, 32>> FromHex(std::string_view);
template std::optional<std::array<unsigned char, 64>> FromHex(std::string_view);

std::string SealText(const LineSeal& seal) {
    return Hex(seal.previous) + ' ' + Hex(seal.link) + ' ' + Hex(seal.signature) + ' ' +
           Hex(seal.key);
}

std::optional<LineSeal> ReadSealText(std::string_view text) {
    std::array<std::string_view, 4> parts;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::size_t blank = i + 1 < parts.size() ? text.find(' ') : text.size();
        if (blank == std::string_view::npos) {
            return std::nullopt;
        }
        parts[i] = text.substr(0, blank);
        text.remove_prefix(std::min(text.size(), blank + 1));
    }
    const auto previous = FromHex<32>(parts[0]);
    const auto link = FromHex<32>(parts[1]);
    const auto signature = FromHex<64>(parts[2]);
    const auto key = FromHex<32>(parts[3]);
    if (!previous || !link || !signature || !key) {
        return std::nullopt;
    }
    return LineSeal{*previous, *link, *signature, *key};
}

}  // namespace station
