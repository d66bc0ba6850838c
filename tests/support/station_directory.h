#pragma once

#include <cstdlib>
#include <filesystem>

#include "tests/support/temp_dir.h"

namespace station::test {

// Makes `dir` a home for one station: dane/ for its files and run/ for its session token, so
// that it neither touches nor meets another copy.
inline void PrepareStationDirectory(const TempDir& dir) {
    std::filesystem::create_directory(dir / "dane");
    std::filesystem::create_directory(dir / "run");
    std::filesystem::permissions(dir / "run", std::filesystem::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", (dir / "run").c_str(), 1);
}

}  // namespace station::test
