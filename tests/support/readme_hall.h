#pragma once

#include <string>
#include <utility>

#include "tests/support/temp_dir.h"

namespace station::test {

// The README's hall broker drop-in, for the hall `hall` (the README's is hall1), its link to the
// plant's broker at 127.0.0.1:`plant_port` and its rooms under `prefix`; empty when the README
// has none.
inline std::string ReadmeHallDropIn(const std::string& readme_path, const std::string& hall,
                                    int plant_port, const std::string& prefix) {
    const std::string readme = ReadFile(readme_path);
    const std::size_t marker = readme.find("<!-- hall broker drop-in: ");
    if (marker == std::string::npos) {
        return {};
    }
    const std::size_t begin = readme.find("```\n", marker) + 4;
    std::string block = readme.substr(begin, readme.find("```", begin) - begin);
    for (const auto& [from, to] :
         {std::pair<std::string, std::string>{"broker.zaklad.lan:1883",
                                              "127.0.0.1:" + std::to_string(plant_port)},
          {"tarvelio/", prefix + "/"},
          {"hall1", hall}}) {
        for (std::size_t at = 0; (at = block.find(from, at)) != std::string::npos;) {
            block.replace(at, from.size(), to);
            at += to.size();
        }
    }
    return block;
}

}  // namespace station::test
