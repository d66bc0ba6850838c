#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/weighing_chain.h"

namespace station {

// An export's cells as text, row by row, the header first.
using SheetRows = std::vector<std::vector<std::string>>;

// The rows of a CSV as the ledger writes it: UTF-8 with its mark, ';' between fields, '"'
// around a field that holds one.
SheetRows ReadCsvRows(std::string_view csv);

// A ledger's export checked row by row against a room's key (its whole key, or its
// fingerprint): each row's seal (the column "pieczęć", which a ledger that verifies seals writes)
// must hold for its line at its place, signed by that key, and the row's scale and reading must be
// its line's (a reading the workbook holds as a number, by its value). Rows of other keys are
// counted apart: an export may hold many rooms.
struct ExportCheck {
    std::uint64_t verified = 0;
    std::uint64_t other_keys = 0;
    std::vector<std::string> failures;  // "ID: reason"
};

struct TrustedKey {
    std::optional<PublicKey> key;  // or
    std::string fingerprint;
};

// The check, or why the rows are no export that can be checked.
std::variant<ExportCheck, std::string> CheckExport(const SheetRows& rows,
                                                   const TrustedKey& trusted);

}  // namespace station
