#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/weighing_chain.h"

namespace station {

// A ledger's CSV export checked row by row against a room's key (its whole key, or its
// fingerprint): each row's seal (the column "pieczęć", which a ledger that verifies seals writes)
// must hold for its line at its place, signed by that key, and the row's scale and reading must be
// its line's. Rows of other keys are counted apart: an export may hold many rooms.
struct ExportCheck {
    std::uint64_t verified = 0;
    std::uint64_t other_keys = 0;
    std::vector<std::string> failures;  // "ID: reason"
};

struct TrustedKey {
    std::optional<PublicKey> key;  // or
    std::string fingerprint;
};

// The check, or why the file is no export that can be checked.
std::variant<ExportCheck, std::string> CheckExport(std::string_view csv, const TrustedKey& trusted);

}  // namespace station
