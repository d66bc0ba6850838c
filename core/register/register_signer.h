#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/month.h"
#include "common/weighing_chain.h"
#include "core/files/station_key.h"
#include "core/register/chain_check.h"

namespace station {

// The station's side of signing: with its key, it writes each saved line's evidence
// (register_evidence.h) beside the month's register, and checks a month's chain as the auditor
// does, trusting the key the evidence names. The register's writer calls it around each line,
// under the register's lock (weighing_register.h).
class RegisterSigner {
public:
    // `announced`: the previous key's word for this one, which a month whose evidence names the
    // previous key gets in the entry that names this one.
    RegisterSigner(std::string directory, KeyPair key,
                   std::optional<KeyAnnouncement> announced = std::nullopt)
        : directory_(std::move(directory)), key_(key), announced_(announced) {}

    // Before the line at `offset` of `month`'s register: its entry (after the entry naming this
    // key, when the month's evidence names another or none yet) appended to the evidence and on
    // disk. Throws InOutError.
    void BeforeLine(Month month, std::uint64_t offset, const std::string& line);
    // After it: the line is on disk; the next line's link follows from it. Throws InOutError.
    void AfterLine(std::uint64_t offset);

    // The month's register and evidence as they are on disk, checked.
    ChainCheck Check(Month month) const;

    const PublicKey& Key() const { return key_.public_key; }

private:
    std::string EvidencePath(Month month) const;

    std::string directory_;
    KeyPair key_;
    std::optional<KeyAnnouncement> announced_;
    std::optional<Month> month_;          // whose chain `last_link_` ends
    std::optional<PublicKey> month_key_;  // the key the month's evidence names last
    ChainLink last_link_{};
    ChainLink pending_link_{};  // of the line being saved
    bool keyed_ = false;        // the month's evidence names this key
};

// The lines of `month`'s register in `directory` with their places, and the place after the last
// whole line (`end`); nothing (an empty file) when it is not there.
struct MonthLines {
    std::vector<PlacedLine> lines;
    std::uint64_t end = 0;
};
MonthLines ReadMonthLines(const std::string& register_path);

}  // namespace station
