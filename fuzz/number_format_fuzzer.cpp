// One line at a time: the reading the station shows (extraction, exact decimal rounding,
// formatting) against a plain integer model, under both separators.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/core/display_model.h"
#include "tests/core/fakes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 64) {
        return 0;
    }
    std::string line(reinterpret_cast<const char*>(data + 1), size - 1);
    if (line.empty() || line.find_first_of("\r\n") != std::string::npos) {
        return 0;
    }
    std::size_t kept = 0;
    for (const char k : line) {
        kept += (k == ',' || k == '.' || k == '-' || (k >= '0' && k <= '9')) ? 1 : 0;
    }
    if (kept > 36) {
        return 0;
    }
    station::test::DecoderRig rig((data[0] & 1) != 0 ? ',' : '.');
    if (rig.Display(line) != station::test::ModelDisplay(line)) {
        std::abort();
    }
    return 0;
}
