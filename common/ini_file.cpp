#include "common/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <vector>

#include "base/file_descriptor.h"
#include "common/fd_io.h"
#include "common/whole_file.h"
#include "common/ascii.h"

namespace station {
namespace {

constexpr std::string_view kIniLineEnd = "\r\n";

// One line of the file: its bytes as they stand, terminator included, and its text without it.
struct Line {
    std::string_view bytes;
    std::string_view text;
};

// What completes `text` into ended lines: nothing, the line feed after a lone carriage return
// (which would otherwise stay and end up inside the line's value), or a whole CR LF.
std::string_view MissingLineEnd(std::string_view text) {
    if (text.empty() || text.ends_with('\n')) {
        return {};
    }
    return text.ends_with('\r') ? kIniLineEnd.substr(1) : kIniLineEnd;
}

std::vector<Line> SplitLines(std::string_view content) {
    std::vector<Line> lines;
    while (!content.empty()) {
        const std::size_t line_feed = content.find('\n');
        const std::size_t size =
            line_feed == std::string_view::npos ? content.size() : line_feed + 1;
        std::string_view text = content.substr(0, size);
        if (text.ends_with('\n')) {
            text.remove_suffix(1);
        }
        if (text.ends_with('\r')) {
            text.remove_suffix(1);
        }
        lines.push_back({content.substr(0, size), text});
        content.remove_prefix(size);
    }
    return lines;
}

std::string_view Trimmed(std::string_view text) {
    const auto begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) {
        return {};
    }
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

// The section name of a header line "[name]", or nothing for any other line.
std::optional<std::string_view> SectionOf(const Line& line) {
    const std::string_view text = Trimmed(line.text);
    if (!text.starts_with('[')) {
        return std::nullopt;
    }
    const std::size_t close = text.find(']');
    return Trimmed(text.substr(1, close == std::string_view::npos ? close : close - 1));
}

struct KeyValue {
    std::string_view key;
    std::string_view value;
};

// The key and raw value of a "key=value" line; comments and other lines have none.
std::optional<KeyValue> KeyValueOf(const Line& line) {
    const std::string_view text = Trimmed(line.text);
    const std::size_t equals = text.find('=');
    if (text.starts_with(';') || equals == std::string_view::npos) {
        return std::nullopt;
    }
    return KeyValue{Trimmed(text.substr(0, equals)), text.substr(equals + 1)};
}

// Where a key stands: the line index of the section header (or lines.size() when the section
// is missing), the key line (or nothing) and the last non-blank line of the section.
struct Place {
    std::size_t header;
    std::optional<std::size_t> key_line;
    std::size_t last_filled;
};

Place Find(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    Place place{lines.size(), std::nullopt, lines.size()};
    const auto is_section = [&](const Line& line) {
        const auto name = SectionOf(line);
        return name && EqualIgnoringCase(*name, section);
    };
    auto i = static_cast<std::size_t>(std::find_if(lines.begin(), lines.end(), is_section) -
                                      lines.begin());
    if (i == lines.size()) {
        return place;
    }
    place.header = place.last_filled = i;
    for (++i; i < lines.size() && !SectionOf(lines[i]); ++i) {
        if (!Trimmed(lines[i].text).empty()) {
            place.last_filled = i;
        }
        const auto pair = KeyValueOf(lines[i]);
        if (!place.key_line && pair && EqualIgnoringCase(pair->key, key)) {
            place.key_line = i;
        }
    }
    return place;
}

// The file a write lands in: the name itself, or the target of a symbolic link.
std::optional<std::string> WriteTarget(const std::string& name) {
    struct stat link {};
    if (::lstat(name.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
        return name;
    }
    char resolved[PATH_MAX];
    if (::realpath(name.c_str(), resolved) == nullptr) {
        return std::nullopt;
    }
    return std::string(resolved);
}

}  // namespace

std::vector<IniEntry> IniFile::Entries() const {
    std::string content;
    if (ReadWhole(name_, content) != ReadResult::kRead) {
        return {};
    }
    std::vector<IniEntry> entries;
    std::string section;
    const std::vector<Line> lines = SplitLines(content);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (const auto name = SectionOf(lines[i])) {
            section = *name;
            entries.push_back({i + 1, section, {}});
        } else if (const auto pair = KeyValueOf(lines[i])) {
            entries.push_back({i + 1, section, std::string(pair->key)});
        }
    }
    return entries;
}

bool IniFile::HasKeys(std::string_view section) const {
    std::string content;
    if (ReadWhole(name_, content) != ReadResult::kRead) {
        return false;
    }
    const std::vector<Line> lines = SplitLines(content);
    for (std::size_t i = Find(lines, section, {}).header + 1;
         i < lines.size() && !SectionOf(lines[i]); ++i) {
        if (KeyValueOf(lines[i])) {
            return true;
        }
    }
    return false;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
    std::string content;
    if (ReadWhole(name_, content) != ReadResult::kRead) {
        return std::string(fallback);
    }
    const std::vector<Line> lines = SplitLines(content);
    const Place place = Find(lines, section, key);
    if (!place.key_line) {
        return std::string(fallback);
    }
    std::string_view value = Trimmed(KeyValueOf(lines[*place.key_line])->value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value.substr(0, kMaxValueLength));
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    const IniWriteError failure("Unable to write to " + name_);
    const auto target = WriteTarget(name_);
    if (!target) {
        throw failure;
    }
    std::string content;
    std::optional<struct stat> existing;
    switch (ReadWhole(*target, content)) {
        case ReadResult::kFailed:
            throw failure;
        case ReadResult::kMissing:
            break;
        case ReadResult::kRead: {
            // The replacement is renamed into place, which a read-only file would not stop.
            const FileDescriptor probe(::open(target->c_str(), O_WRONLY | O_CLOEXEC));
            if (!probe.IsOpen()) {
                throw failure;
            }
            existing.emplace();
            if (::fstat(probe.Get(), &*existing) != 0) {
                throw failure;
            }
            break;
        }
    }

    const std::string key_line =
        std::string(key) + "=" + std::string(value.substr(0, value.find_first_of("\r\n")));
    const std::vector<Line> lines = SplitLines(content);
    const Place place = Find(lines, section, key);
    std::string updated;
    updated.reserve(content.size() + key_line.size() + section.size() + 8);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (place.key_line == i) {
            updated.append(key_line).append(lines[i].bytes.substr(lines[i].text.size()));
            continue;
        }
        updated.append(lines[i].bytes);
        if (!place.key_line && i == place.last_filled) {
            updated.append(MissingLineEnd(lines[i].bytes));
            updated.append(key_line).append(kIniLineEnd);
        }
    }
    if (place.header == lines.size()) {
        updated.append(MissingLineEnd(updated));
        updated.append("[").append(section).append("]").append(kIniLineEnd);
        updated.append(key_line).append(kIniLineEnd);
    }
    if (!ReplaceAtomically(*target, updated, existing)) {
        throw failure;
    }
}

}  // namespace station
