#pragma once

#include <array>
#include <span>

namespace station::ledger {

// What a column of an export holds of a stored weighing.
enum class ExportField {
    kId,
    kStation,
    kScale,
    kDate,
    kClock,
    kReading,
    kWeight,
    kUnit,
    kTime,
    kLine,
    kSeal
};

// The exports' columns, in their order, said once: the CSV and the workbook take those with a
// title (the date and the time of day of the station's clock apart, which spreadsheets read as a
// date and a time), the JSON those with a key (the stored time whole).
struct ExportColumn {
    ExportField field;
    const char* title;  // the CSV's and the workbook's header; nullptr: not in them
    const char* key;    // the JSON's; nullptr: not in it
    double width;       // in the workbook, in characters
};

inline constexpr std::array<ExportColumn, 11> kExportColumns{{
    {ExportField::kId, "id", "id", 22},
    {ExportField::kStation, "stanowisko", "station", 16},
    {ExportField::kScale, "waga", "scale", 6},
    {ExportField::kDate, "data", nullptr, 11},
    {ExportField::kClock, "godzina", nullptr, 9},
    {ExportField::kReading, "odczyt", "reading", 10},
    {ExportField::kWeight, "masa", "weight", 10},
    {ExportField::kUnit, "jednostka", "unit", 9},
    {ExportField::kTime, nullptr, "time", 0},
    {ExportField::kLine, "linia", "line", 40},
    {ExportField::kSeal, "pieczęć", "seal", 60},
}};

// The columns of an export: the seal's (seal_check.h), last, only where the ledger verifies seals,
// for an auditor to check the rows against the rooms' keys.
inline std::span<const ExportColumn> ExportColumns(bool seals) {
    return std::span(kExportColumns).first(kExportColumns.size() - (seals ? 0 : 1));
}

}  // namespace station::ledger
