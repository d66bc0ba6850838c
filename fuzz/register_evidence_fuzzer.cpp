// Any side file of a month's evidence: reading never fails, every entry read writes back as the
// text it was read from, and checking it against the register its own entries describe never
// fails either.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/register/chain_check.h"
#include "core/register/register_evidence.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const station::EvidenceRead read = station::ReadEvidence(bytes);
    std::string written;
    std::vector<station::PlacedLine> lines;
    for (const station::EvidenceEntry& entry : read.entries) {
        written += station::EvidenceText(entry) + "\r\n";
        if (const auto* line = std::get_if<station::LineEntry>(&entry)) {
            lines.push_back({line->offset, line->line});
        }
    }
    if (bytes.substr(0, written.size()) != written) {
        std::abort();  // an entry that does not read back as its one text
    }
    const station::Month month = *station::Month::Of(2026, 12);
    station::CheckMonth(month, lines, size, read, std::nullopt, false);
    station::CheckMonth(month, {}, 0, read, station::PublicKey{}, true);
    return 0;
}
