#include "core/register/register_units.h"

#include <sys/stat.h>

#include <algorithm>

#include "common/whole_file.h"

namespace station {

std::string UnitsFileName(std::string_view month_file_name) {
    return std::string(month_file_name.substr(0, month_file_name.find('.'))) + ".jednostki";
}

std::string UnitsEntry(std::string_view unit, std::string_view register_line) {
    std::string entry(unit);
    entry += '\t';
    entry += register_line;
    return entry;
}

std::string RegisterUnits::UnitOf(const RegisterEntry& entry) {
    if (!looked_ || entry.start.FileName() != month_) {
        Look(entry.start.FileName());
    }
    const auto found = units_.find(entry.line);
    return found == units_.end() ? std::string() : found->second;
}

void RegisterUnits::Look(const std::string& month_file) {
    looked_ = true;
    const std::string path = directory_ + "/" + UnitsFileName(month_file);
    struct stat info {};
    const off_t size = stat(path.c_str(), &info) == 0 ? info.st_size : -1;
    if (month_file == month_ && size == size_) {
        return;
    }
    month_ = month_file;
    size_ = size;
    units_.clear();
    std::string content;
    if (size >= 0 && ReadWhole(path, content) == ReadResult::kRead) {
        for (std::size_t at = 0; at < content.size();) {
            const std::size_t end = std::min(content.find("\r\n", at), content.size());
            const std::string_view line(content.data() + at, end - at);
            const std::size_t tab = line.find('\t');
            if (tab != std::string_view::npos) {
                units_[std::string(line.substr(tab + 1))] = line.substr(0, tab);
            }
            at = end + 2;
        }
    }
}

}  // namespace station
