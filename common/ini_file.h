#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace station {

// "Unable to write to <name>": an initialisation file that could not be written.
class IniWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A section header (its key empty) or a key line, as it stands in an initialisation file.
struct IniEntry {
    std::size_t line;  // from 1
    std::string section;
    std::string key;
};

// An initialisation file (sections in brackets, key=value lines, CR LF), read and written one
// value at a time. Section and key names match without regard to case; where one stands twice
// the first counts. Everything the station does not write is kept byte for byte.
class IniFile {
public:
    static constexpr std::size_t kMaxValueLength = 2047;

    // `name` is used as given, relative names against the working directory.
    explicit IniFile(std::string name) : name_(std::move(name)) {}
    virtual ~IniFile() = default;
    IniFile(const IniFile&) = default;
    IniFile& operator=(const IniFile&) = default;

    const std::string& Name() const { return name_; }

    // The value without surrounding blanks and one pair of enclosing quotes, at most
    // kMaxValueLength characters; `fallback` when the file, section or key is missing. Virtual
    // so that a check can list the keys the settings readers ask for.
    virtual std::string ReadString(std::string_view section, std::string_view key,
                                   std::string_view fallback) const;

    // Every section header and key line of the file, in the file's order; none for a file that
    // cannot be read. Keys before any header have an empty section.
    std::vector<IniEntry> Entries() const;

    // Whether the section stands in the file with at least one key, whatever its value.
    bool HasKeys(std::string_view section) const;

    // Replaces the key's value, or adds the key at the end of its section, or the section at
    // the end of the file. The file on disk is always the old or the new complete version.
    // A value ends at its first line break. Throws IniWriteError.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);

private:
    std::string name_;
};

}  // namespace station
