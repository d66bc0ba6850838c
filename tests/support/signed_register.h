#pragma once

#include <string>

#include "common/weighing_chain.h"
#include "core/register/register_evidence.h"
#include "core/register/register_signer.h"
#include "tests/support/temp_dir.h"

namespace station::test {

// The evidence of the month register at `register_path` ("…/yyyymm.txt"), written beside it
// whole as the register's writer with signing on would have left it: the key, then each line's
// entry and its "zapisano". For registers a test or a benchmark writes at once.
inline void SignRegister(const std::string& register_path, const KeyPair& key) {
    const std::string name = register_path.substr(register_path.rfind('/') + 1);
    const Month month = *Month::OfFileName(name);
    const auto ended = [](const EvidenceEntry& entry) {
        return EvidenceText(entry) + std::string(kRegisterLineEnd);
    };
    ChainLink link{};
    std::string evidence = ended(KeyEntry{key.public_key, std::nullopt});
    for (const PlacedLine& line : ReadMonthLines(register_path).lines) {
        link = NextLink(link, month, line.offset, line.line);
        evidence += ended(LineEntry{line.offset, link, SignLink(key.secret_key, link), line.line});
        evidence += ended(SavedEntry{line.offset});
    }
    WriteFile(register_path.substr(0, register_path.size() - name.size()) + EvidenceFileName(name),
              evidence);
}

}  // namespace station::test
