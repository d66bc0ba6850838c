#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace emulator {

inline constexpr int kMaxScales = 4;

// Plain lines that take --ending, or a preset's layout (`preset`) with its own frame ends,
// motion and over range.
enum class LineFormat {
    kPlain,
    kStatus,
    kFixed,
    kComma,
    kPreset,
};
enum class LineEnding { kCr, kCrLf, kLf };
enum class Profile { kSteady, kRamp, kWalk, kCycle };

// What one scale does besides sending lines.
struct Faults {
    bool refuse = false;               // nothing listens on its port
    std::int64_t reset_after = -1;     // lines, then a reset (-1: never)
    std::int64_t close_mid_line = -1;  // lines, then half a line and a close (-1: never)
    std::int64_t stall_after = -1;     // lines, then silence on an open connection (-1: never)
    // Lines, then half a line and silence on an open connection, as a serial line does when its
    // adapter is pulled and the bridge keeps the connection (-1: never).
    std::int64_t stall_mid_line = -1;
    bool no_cr = false;                 // line ends lose their carriage return
    bool random_bytes = false;          // random bytes, 0 and above 127 included, instead of lines
    bool byte_writes = false;           // every byte in a write of its own
    std::int64_t overload_after = -1;   // lines, then over range in formats that say so
    std::int64_t underload_after = -1;  // lines, then under range in formats that say so
    // A field's bad day, every so many lines (0: never): half a line, its end lost, glued to the
    // next; a whole line with its end lost; a burst of noise before a line.
    std::int64_t glued_half_every = 0;
    std::int64_t lost_ending_every = 0;
    std::int64_t noise_every = 0;
    bool lf_endings = false;  // CR LF and a line's last CR become LF, as indicators set so send
};

struct ScaleOptions {
    int port = 0;
    // When set, the scale talks on a pseudo-terminal, reached through this symbolic link, as
    // on an RS-232 line at `baud` with 8N1 framing (ten bits a byte), instead of on a TCP port.
    std::string serial_link;
    int baud = 9600;
    LineFormat format = LineFormat::kPlain;
    std::string preset;       // with kPreset
    std::string unit = "kg";  // the unit a preset's frames write
    int variant = 0;          // of the preset's family, counted round
    LineEnding ending = LineEnding::kCrLf;
    Profile profile = Profile::kSteady;
    double start = 1000;     // kg
    double step = 0.5;       // kg per line
    double noise = 0;        // kg, uniform either way
    double rate = 10;        // lines per second; 0 with `flood`
    bool flood = false;      // as fast as the socket takes
    bool on_demand = false;  // one line for each request the client sends, none unasked
    Faults faults;
};

struct Options {
    int scales = kMaxScales;
    std::array<ScaleOptions, kMaxScales> scale;
    std::uint64_t seed = 1;
    bool help = false;
    bool version = false;
};

// Reads the command line (without the program name). Per-scale options take VALUE for every
// scale or SCALE:VALUE for one. Returns the error text for a bad command line.
struct ParseResult {
    std::optional<Options> options;
    std::string error;
};
ParseResult ParseOptions(const std::vector<std::string>& arguments);

std::string Usage();

}  // namespace emulator
