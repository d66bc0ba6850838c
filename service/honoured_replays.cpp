#include "service/honoured_replays.h"

#include <algorithm>
#include <optional>

#include "common/whole_file.h"

namespace station {

HonouredReplays::HonouredReplays(std::string path) : path_(std::move(path)) {
    std::string content;
    if (ReadWhole(path_, content) != ReadResult::kRead) {
        return;  // none yet; an unreadable file costs a replay, never a loss
    }
    std::size_t start = 0;
    while (start < content.size()) {
        const std::size_t end = std::min(content.find('\n', start), content.size());
        if (end > start) {
            tokens_.push_back(content.substr(start, end - start));
        }
        start = end + 1;
    }
    while (tokens_.size() > kKept) {
        tokens_.pop_front();
    }
}

bool HonouredReplays::Contains(const std::string& token) const {
    return std::find(tokens_.begin(), tokens_.end(), token) != tokens_.end();
}

bool HonouredReplays::Add(const std::string& token) {
    tokens_.push_back(token);
    if (tokens_.size() > kKept) {
        tokens_.pop_front();
    }
    std::string content;
    for (const std::string& kept : tokens_) {
        content += kept + '\n';
    }
    return ReplaceAtomically(path_, content, std::nullopt);
}

}  // namespace station
