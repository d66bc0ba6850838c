// tarvelio-verify: checks a month's register ("yyyymm.txt") against its evidence
// ("yyyymm.podpisy" beside it) and the station's key, given whole or by its fingerprint. Prints
// the first line that does not hold (or, with --each, every line with its verdict) and exits 0
// only when every line is signed and holds. With --export, a ledger's export instead (CSV or
// workbook), row by row.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/whole_file.h"
#include "core/register/chain_check.h"
#include "core/register/register_signer.h"
#include "export_check.h"
#include "workbook_rows.h"

namespace {

using namespace station;

constexpr int kWhole = 0;
constexpr int kBroken = 1;
constexpr int kUsage = 2;

constexpr const char* kUsageText =
    "usage: tarvelio-verify (--key HEX | --fingerprint XXXX-XXXX-XXXX-XXXX) [--each]\n"
    "                       [--evidence FILE] REGISTER\n"
    "       tarvelio-verify (--key HEX | --fingerprint XXXX-XXXX-XXXX-XXXX) --export FILE\n"
    "Checks the month's register REGISTER (yyyymm.txt) against its evidence (yyyymm.podpisy\n"
    "beside it, or FILE) signed by the station's key. Exits 0 when every line is signed and\n"
    "holds, 1 at the first line that does not (altered, inserted, removed, reordered, added,\n"
    "forged evidence, unsigned), 2 when it cannot check. With --export, checks each row of the\n"
    "plant ledger's export (FILE.csv, or FILE.xlsx) signed by that key (its seal, its scale and\n"
    "reading), prints each that does not hold, and exits 0 when none fails.\n";

struct Options {
    std::string key;
    std::string fingerprint;
    bool each = false;
    std::string evidence;
    bool export_file = false;  // the file is a ledger's CSV export
    std::string register_path;
};

std::optional<Options> ReadOptions(const std::vector<std::string_view>& arguments) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        const bool has_value = i + 1 < arguments.size();
        if (argument == "--key" && has_value) {
            options.key = arguments[++i];
        } else if (argument == "--fingerprint" && has_value) {
            options.fingerprint = arguments[++i];
        } else if (argument == "--evidence" && has_value) {
            options.evidence = arguments[++i];
        } else if (argument == "--each") {
            options.each = true;
        } else if (argument == "--export") {
            options.export_file = true;
        } else if (!argument.starts_with("--") && options.register_path.empty()) {
            options.register_path = argument;
        } else {
            return std::nullopt;
        }
    }
    if (options.register_path.empty() || options.key.empty() == options.fingerprint.empty()) {
        return std::nullopt;
    }
    return options;
}

// The month's first key, which the one given must be.
std::optional<PublicKey> FirstKey(const EvidenceRead& evidence) {
    for (const EvidenceEntry& entry : evidence.entries) {
        if (const auto* key = std::get_if<KeyEntry>(&entry)) {
            return key->key;
        }
    }
    return std::nullopt;
}

int VerifyExport(const Options& options) {
    TrustedKey trusted{FromHex<32>(options.key), options.fingerprint};
    if (options.fingerprint.empty() && !trusted.key) {
        std::fprintf(stderr, "tarvelio-verify: --key: not 64 hex digits\n");
        return kUsage;
    }
    SheetRows rows;
    if (options.register_path.ends_with(".xlsx")) {
        auto read = ReadWorkbookRows(options.register_path);
        if (const auto* problem = std::get_if<std::string>(&read)) {
            std::fprintf(stderr, "tarvelio-verify: %s: %s\n", options.register_path.c_str(),
                         problem->c_str());
            return kUsage;
        }
        rows = std::move(std::get<SheetRows>(read));
    } else if (std::string bytes; ReadWhole(options.register_path, bytes) == ReadResult::kRead) {
        rows = ReadCsvRows(bytes);
    } else {
        std::fprintf(stderr, "tarvelio-verify: cannot read %s\n", options.register_path.c_str());
        return kUsage;
    }
    const auto checked = CheckExport(rows, trusted);
    if (const auto* problem = std::get_if<std::string>(&checked)) {
        std::fprintf(stderr, "tarvelio-verify: %s: %s\n", options.register_path.c_str(),
                     problem->c_str());
        return kUsage;
    }
    const ExportCheck& check = std::get<ExportCheck>(checked);
    for (const std::string& failure : check.failures) {
        std::printf("%s\n", failure.c_str());
    }
    std::printf("%s: %llu weighings verified, %zu failed, %llu of other keys\n",
                std::filesystem::path(options.register_path).filename().c_str(),
                static_cast<unsigned long long>(check.verified), check.failures.size(),
                static_cast<unsigned long long>(check.other_keys));
    return check.failures.empty() ? kWhole : kBroken;
}

int Verify(const Options& options) {
    const std::filesystem::path path(options.register_path);
    const std::optional<Month> month = Month::OfFileName(path.filename().string());
    if (!month) {
        std::fprintf(stderr, "tarvelio-verify: %s: not a month's register (yyyymm.txt)\n",
                     options.register_path.c_str());
        return kUsage;
    }
    std::string bytes;
    if (ReadWhole(options.register_path, bytes) != ReadResult::kRead) {
        std::fprintf(stderr, "tarvelio-verify: cannot read %s\n", options.register_path.c_str());
        return kUsage;
    }
    const std::string evidence_path =
        options.evidence.empty()
            ? (path.parent_path() / EvidenceFileName(path.filename().string())).string()
            : options.evidence;
    std::string evidence_bytes;
    if (ReadWhole(evidence_path, evidence_bytes) == ReadResult::kFailed) {
        std::fprintf(stderr, "tarvelio-verify: cannot read %s\n", evidence_path.c_str());
        return kUsage;
    }
    const EvidenceRead evidence = ReadEvidence(evidence_bytes);
    std::optional<PublicKey> trusted = FromHex<32>(options.key);
    if (!options.fingerprint.empty()) {
        const std::optional<PublicKey> first = FirstKey(evidence);
        // Not that key: the check below names the first line as forged evidence.
        trusted = first && Fingerprint(*first) == options.fingerprint ? first : PublicKey{};
    } else if (!trusted) {
        std::fprintf(stderr, "tarvelio-verify: --key: not 64 hex digits\n");
        return kUsage;
    }
    const MonthLines lines = ReadMonthLines(options.register_path);
    const ChainCheck check = CheckMonth(*month, lines.lines, lines.end, evidence, trusted, true);
    if (options.each) {
        for (std::size_t i = 0; i < lines.lines.size(); ++i) {
            const std::size_t number = i + 1;
            const char* verdict = i < check.unsigned_before ? "unsigned"
                                  : check.first_break && number == check.first_break->line_number
                                      ? ChainBreakName(check.first_break->kind)
                                  : number <= check.unsigned_before + check.verified
                                      ? "verified"
                                      : "not checked";
            std::printf("%zu\t%s\t%s\n", number, verdict, lines.lines[i].line.c_str());
        }
    }
    const std::string name = path.filename().string();
    if (check.first_break) {
        std::printf("%s: line %zu %s: %s\n", name.c_str(), check.first_break->line_number,
                    ChainBreakName(check.first_break->kind), check.first_break->line.c_str());
        return kBroken;
    }
    if (check.unsigned_before > 0) {
        std::printf("%s: lines 1 to %zu unsigned (saved before signing was on)\n", name.c_str(),
                    check.unsigned_before);
        return kBroken;
    }
    std::printf("%s: %zu lines verified, %zu failed saves; key %s\n", name.c_str(), check.verified,
                check.failed_saves, check.key ? Fingerprint(*check.key).c_str() : "none");
    return kWhole;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    for (const std::string_view argument : arguments) {
        if (argument == "--help") {
            std::fputs(kUsageText, stdout);
            return kWhole;
        }
        if (argument == "--version") {
            std::printf("tarvelio-verify %s\n", STATION_VERSION);
            return kWhole;
        }
    }
    const std::optional<Options> options = ReadOptions(arguments);
    if (!options) {
        std::fputs(kUsageText, stderr);
        return kUsage;
    }
    return options->export_file ? VerifyExport(*options) : Verify(*options);
}
