// Arbitrary byte streams, cut into arbitrary chunks, through framing, logging and decoding under
// both decimal separators: nothing crashes, the buffer stays bounded and free of line ends, and
// every short line shows what the plain model says.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/core/display_model.h"
#include "tests/core/fakes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const char separator = (data[0] & 1) != 0 ? ',' : '.';
    const std::size_t chunk = 1 + data[1] % 64;
    const std::string stream(reinterpret_cast<const char*>(data + 2), size - 2);

    station::test::DecoderRig rig(separator);
    station::ReceiveBuffer buffer;
    for (std::size_t at = 0; at < stream.size(); at += chunk) {
        const std::string piece = stream.substr(at, chunk);
        rig.decoder.AppendReceivedData(piece, static_cast<int>(piece.size()),
                                       station::kWeightLineProtocol, buffer, 1);
        if (buffer.line.size() > station::WeightDecoder::kReceiveBufferCap ||
            buffer.line.find_first_of("\r\n") != std::string::npos) {
            std::abort();
        }
    }

    // Replay the same lines one at a time against the model.
    std::string line;
    for (const char c : stream) {
        if (c == '\n') {
            continue;
        }
        if (c != '\r') {
            line += c;
            continue;
        }
        std::size_t kept = 0;
        for (const char k : line) {
            kept += (k == ',' || k == '.' || k == '-' || (k >= '0' && k <= '9')) ? 1 : 0;
        }
        if (!line.empty() && kept <= 36 && rig.Display(line) != station::test::ModelDisplay(line)) {
            std::abort();
        }
        line.clear();
    }
    return 0;
}
