#pragma once

#include <deque>
#include <string>

namespace station {

// The replay requests a station has honoured, so that none is honoured twice: a retained
// request comes again at every connection, and a stranger may send an old one again. Kept in a
// file of one token per line, newest last, at most kKept of them; a file of one token without a
// line end (as stations kept it before) reads as that token.
class HonouredReplays {
public:
    static constexpr std::size_t kKept = 256;

    explicit HonouredReplays(std::string path);

    bool Contains(const std::string& token) const;
    // Remembers the token, in memory at once and in the file; false when the file could not be
    // written (errno says why): the token then counts until the station ends.
    bool Add(const std::string& token);

    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::deque<std::string> tokens_;  // oldest first
};

}  // namespace station
