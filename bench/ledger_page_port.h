#pragma once

#include <chrono>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/poll_loop.h"
#include "tests/support/temp_dir.h"

namespace station::bench {

// The port of the page a ledger program says in its log `log_path` that it serves, waited for
// up to 10 s while `loop` runs (the stations in it go on); 0 when it never says.
inline int WaitForPagePort(PollLoop& loop, const std::string& log_path) {
    constexpr std::string_view kPage = "page on http://127.0.0.1:";
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
        loop.RunUntil([] { return false; }, std::chrono::milliseconds(50));
        const std::string said = test::ReadFile(log_path);
        if (const std::size_t at = said.find(kPage); at != std::string::npos) {
            return std::atoi(said.c_str() + at + kPage.size());
        }
    }
    return 0;
}

}  // namespace station::bench
