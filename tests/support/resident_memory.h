#pragma once

#include <fstream>
#include <string>

namespace station::test {

// Resident memory of a process ("self" for this one), in MiB, from /proc.
inline double ResidentMiB(const std::string& pid = "self") {
    std::ifstream status("/proc/" + pid + "/status");
    std::string word;
    while (status >> word) {
        if (word == "VmRSS:") {
            double kib = 0;
            status >> kib;
            return kib / 1024;
        }
    }
    return 0;
}

}  // namespace station::test
