#pragma once

#include <string>
#include <vector>

namespace bench {

// What indicators in continuous mode send, read by the standard rule: readings with units,
// status words, motion flags.
inline const std::vector<std::string>& StandardMix() {
    static const std::vector<std::string> kLines = {
        "  1234.5 kg\r\n",
        "ST,GS,+001234.5kg\r\n",
        "US,GS,-000012.0kg\r\n",
        "+00123.4kg\r\n",
        "   12,49 kg\r\n",
        "M      1250 kg\r\n",
        "      0.0 kg\r\n",
        "ST,NT,+000998.0kg\r\n",
        "  -15.5 kg\r\n",
        "W1 G  00750.5 kg\r\n",
        "OL\r\n",
        "  99999.9 kg\r\n",
    };
    return kLines;
}

}  // namespace bench
