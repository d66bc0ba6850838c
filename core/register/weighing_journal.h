#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace station {

// A place in the register: a month's file ("202612.txt") and a byte offset in it. Register
// files are only ever appended to, so a place stays valid; places order as the saves did.
struct RegisterPosition {
    std::string file_name;  // empty: before every file
    std::uint64_t offset = 0;

    auto operator<=>(const RegisterPosition&) const = default;
};

// One saved weighing: its register line without CR LF, where it starts and where it ends.
struct RegisterEntry {
    RegisterPosition start;
    RegisterPosition end;
    std::string line;
};

// The register read as a queue: the complete lines after `from` in the month files of
// `directory`, oldest first, at most `limit`. Unreadable files count as empty.
std::vector<RegisterEntry> ReadRegisterAfter(const std::string& directory,
                                             const RegisterPosition& from, std::size_t limit);

// How many complete lines follow `from`.
std::size_t CountRegisterAfter(const std::string& directory, const RegisterPosition& from);

// Where the register ends now: after the last line of its newest month file.
RegisterPosition RegisterEnd(const std::string& directory);

// How far delivery has come, kept in a small file that is replaced whole on every change.
// nullopt when the file is missing or unreadable.
std::optional<RegisterPosition> LoadRegisterPosition(const std::string& path);
// Throws InOutError.
void StoreRegisterPosition(const std::string& path, const RegisterPosition& position);

}  // namespace station
