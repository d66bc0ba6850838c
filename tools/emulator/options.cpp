#include "tools/emulator/options.h"

#include <charconv>
#include <functional>
#include <map>

#include "tools/emulator/preset_frames.h"

namespace emulator {
namespace {

class BadArgument {
public:
    explicit BadArgument(std::string message) : text(std::move(message)) {}
    std::string text;
};

template <typename Number>
Number ParseNumber(const std::string& text, const std::string& option) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        throw BadArgument("--" + option + ": not a number: '" + text + "'");
    }
    return value;
}

template <typename Choice>
Choice ParseChoice(const std::string& text, const std::string& option,
                   const std::map<std::string, Choice>& choices) {
    const auto found = choices.find(text);
    if (found == choices.end()) {
        std::string known;
        for (const auto& [name, value] : choices) {
            known += (known.empty() ? "" : ", ") + name;
        }
        throw BadArgument("--" + option + ": '" + text + "' is not one of " + known);
    }
    return found->second;
}

using ScaleSetter = std::function<void(ScaleOptions&, const std::string& value)>;

// Every per-scale option, by name.
const std::map<std::string, ScaleSetter>& ScaleSetters() {
    static const std::map<std::string, ScaleSetter> kSetters{
        {"format",
         [](ScaleOptions& s, const std::string& v) {
             std::map<std::string, LineFormat> formats{{"plain", LineFormat::kPlain},
                                                       {"status", LineFormat::kStatus},
                                                       {"fixed", LineFormat::kFixed},
                                                       {"comma", LineFormat::kComma}};
             for (const std::string_view preset : PresetFrameNames()) {
                 formats.emplace(preset, LineFormat::kPreset);
             }
             s.format = ParseChoice<LineFormat>(v, "format", formats);
             s.preset = s.format == LineFormat::kPreset ? v : "";
         }},
        {"ending",
         [](ScaleOptions& s, const std::string& v) {
             s.ending = ParseChoice<LineEnding>(
                 v, "ending",
                 {{"cr", LineEnding::kCr}, {"crlf", LineEnding::kCrLf}, {"lf", LineEnding::kLf}});
         }},
        {"profile",
         [](ScaleOptions& s, const std::string& v) {
             s.profile = ParseChoice<Profile>(v, "profile",
                                              {{"steady", Profile::kSteady},
                                               {"ramp", Profile::kRamp},
                                               {"walk", Profile::kWalk},
                                               {"cycle", Profile::kCycle}});
         }},
        {"unit",
         [](ScaleOptions& s, const std::string& v) {
             std::map<std::string, std::string> units;
             for (const std::string_view unit : kFrameUnits) {
                 units.emplace(unit, unit);
             }
             s.unit = ParseChoice<std::string>(v, "unit", units);
         }},
        {"variant",
         [](ScaleOptions& s, const std::string& v) {
             s.variant = ParseNumber<int>(v, "variant");
             if (s.variant < 0 || s.variant > 9) {
                 throw BadArgument("--variant: must be 0 to 9");
             }
         }},
        {"serial", [](ScaleOptions& s, const std::string& v) { s.serial_link = v; }},
        {"baud",
         [](ScaleOptions& s, const std::string& v) {
             s.baud = ParseNumber<int>(v, "baud");
             if (s.baud < 50 || s.baud > 4000000) {
                 throw BadArgument("--baud: must be 50 to 4000000");
             }
         }},
        {"start",
         [](ScaleOptions& s, const std::string& v) { s.start = ParseNumber<double>(v, "start"); }},
        {"step",
         [](ScaleOptions& s, const std::string& v) { s.step = ParseNumber<double>(v, "step"); }},
        {"noise",
         [](ScaleOptions& s, const std::string& v) { s.noise = ParseNumber<double>(v, "noise"); }},
        {"rate",
         [](ScaleOptions& s, const std::string& v) {
             s.flood = v == "flood";
             s.on_demand = v == "demand";
             if (s.flood || s.on_demand) {
                 return;
             }
             s.rate = ParseNumber<double>(v, "rate");
             if (!(s.rate > 0)) {
                 throw BadArgument("--rate: must be above 0, 'flood' or 'demand'");
             }
         }},
        {"fault",
         [](ScaleOptions& s, const std::string& v) {
             const auto equals = v.find('=');
             const std::string kind = v.substr(0, equals);
             const auto count = [&] {
                 if (equals == std::string::npos) {
                     throw BadArgument("--fault: " + kind + " needs =LINES");
                 }
                 return ParseNumber<std::int64_t>(v.substr(equals + 1), "fault");
             };
             if (kind == "refuse") {
                 s.faults.refuse = true;
             } else if (kind == "reset-after") {
                 s.faults.reset_after = count();
             } else if (kind == "close-mid-line") {
                 s.faults.close_mid_line = count();
             } else if (kind == "stall-after") {
                 s.faults.stall_after = count();
             } else if (kind == "stall-mid-line") {
                 s.faults.stall_mid_line = count();
             } else if (kind == "overload-after") {
                 s.faults.overload_after = count();
             } else if (kind == "underload-after") {
                 s.faults.underload_after = count();
             } else if (kind == "no-cr") {
                 s.faults.no_cr = true;
             } else if (kind == "random-bytes") {
                 s.faults.random_bytes = true;
             } else if (kind == "byte-writes") {
                 s.faults.byte_writes = true;
             } else if (kind == "glued-half") {
                 s.faults.glued_half_every = count();
             } else if (kind == "lost-ending") {
                 s.faults.lost_ending_every = count();
             } else if (kind == "noise") {
                 s.faults.noise_every = count();
             } else if (kind == "lf-endings") {
                 s.faults.lf_endings = true;
             } else {
                 throw BadArgument("--fault: unknown fault '" + kind + "'");
             }
         }},
    };
    return kSetters;
}

// Applies "VALUE" to every scale or "SCALE:VALUE" to one.
void SetForScales(Options& options, const std::string& name, const std::string& argument) {
    const ScaleSetter& set = ScaleSetters().at(name);
    const auto colon = argument.find(':');
    if (colon != std::string::npos && colon > 0 &&
        argument.find_first_not_of("0123456789") == colon) {
        const int scale = ParseNumber<int>(argument.substr(0, colon), name);
        if (scale < 1 || scale > kMaxScales) {
            throw BadArgument("--" + name + ": scale " + std::to_string(scale) + " is not 1 to 4");
        }
        set(options.scale[static_cast<std::size_t>(scale - 1)], argument.substr(colon + 1));
        return;
    }
    for (ScaleOptions& scale : options.scale) {
        set(scale, argument);
    }
}

}  // namespace

ParseResult ParseOptions(const std::vector<std::string>& arguments) {
    Options options;
    int base_port = 2001;
    try {
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            const std::string& argument = arguments[i];
            if (argument == "-h" || argument == "--help") {
                options.help = true;
                continue;
            }
            if (argument == "-v" || argument == "--version") {
                options.version = true;
                continue;
            }
            if (argument.rfind("--", 0) != 0) {
                throw BadArgument("unexpected argument '" + argument + "'");
            }
            const std::string name = argument.substr(2);
            if (name != "scales" && name != "port" && name != "seed" &&
                ScaleSetters().count(name) == 0) {
                throw BadArgument("unknown option " + argument);
            }
            if (i + 1 == arguments.size()) {
                throw BadArgument(argument + " needs a value");
            }
            const std::string& value = arguments[++i];
            if (name == "scales") {
                options.scales = ParseNumber<int>(value, name);
                if (options.scales < 1 || options.scales > kMaxScales) {
                    throw BadArgument("--scales: must be 1 to 4");
                }
            } else if (name == "port") {
                base_port = ParseNumber<int>(value, name);
                if (base_port < 0 || base_port > 65535) {
                    throw BadArgument("--port: must be 0 (any free port) or 1 to 65535");
                }
            } else if (name == "seed") {
                options.seed = ParseNumber<std::uint64_t>(value, name);
            } else {
                SetForScales(options, name, value);
            }
        }
    } catch (const BadArgument& bad) {
        return {std::nullopt, bad.text};
    }
    // Only the scales served need ports: --scales comes before or after --port.
    if (base_port + options.scales - 1 > 65535) {
        return {std::nullopt, "--port: " + std::to_string(options.scales) + " scales from port " +
                                  std::to_string(base_port) + " would go past 65535"};
    }
    // Two scales on one link would take turns writing to one terminal: one scale's line is cut
    // by the other's.
    for (int a = 0; a < options.scales; ++a) {
        for (int b = a + 1; b < options.scales; ++b) {
            const std::string& link = options.scale[static_cast<std::size_t>(a)].serial_link;
            if (!link.empty() && link == options.scale[static_cast<std::size_t>(b)].serial_link) {
                return {std::nullopt, "--serial: scales " + std::to_string(a + 1) + " and " +
                                          std::to_string(b + 1) + " would share " + link +
                                          "; give each its own (--serial N:LINK)"};
            }
        }
    }
    for (int i = 0; i < kMaxScales; ++i) {
        options.scale[static_cast<std::size_t>(i)].port = base_port == 0 ? 0 : base_port + i;
    }
    return {options, ""};
}

std::string Usage() {
    return R"(Usage: scale-emulator [OPTION VALUE]...
Serves weighing scales on 127.0.0.1 that send text lines as indicators do in continuous
mode, one TCP connection per client.

  --scales N          how many scales, 1 to 4 (default 4)
  --port P            scale 1 on P, scale 2 on P+1, ... (default 2001; 0: any free ports)
  --seed N            seed of the random profiles, noise and faults (default 1)

Per scale: VALUE sets every scale, SCALE:VALUE one of them (for example --format 2:status).
  --format F          plain ("  1234.5 kg"), status ("ST,GS,+001234.5kg"),
                      fixed ("S 001234.5 kg", M while moving), comma ("  1234,5 kg");
                      or a preset's layout, with its own frame end, motion while the
                      weight changes, and over range where the layout marks it:
                      stx-status, csv-status, letter-status, lf-range, stx-polarity,
                      marker, id-line, dollar, w-checksum, equals, equals-forward,
                      stx-etx, block, polled, cr-etx, sign6-status
  --unit U            the unit a preset's frames write: kg (default), g, t, lb, oz, or
                      lb:oz (pounds and ounces where the layout has them, else pounds)
  --variant N         which of the preset family's frames: 0 (default) to 9, counted
                      round the family's variants
  --ending E          cr, crlf or lf (default crlf)
  --profile P         steady, ramp, walk (random walk) or cycle (load and unload)
  --start KG          starting weight (default 1000)
  --step KG           change per line (default 0.5)
  --noise KG          random noise either way (default 0)
  --rate R            lines per second (default 10), or flood: as fast as the socket takes,
                      or demand: one line each time the client sends something
  --fault F           refuse, reset-after=LINES, close-mid-line=LINES, stall-after=LINES
                      (then silent, the connection left open), stall-mid-line=LINES (half a
                      line, then silent and open), overload-after=LINES (then over range, in
                      the layouts that say so), underload-after=LINES (under range likewise),
                      no-cr, random-bytes, byte-writes, glued-half=N (every Nth line half
                      sent and glued to the next), lost-ending=N (every Nth line's end lost),
                      noise=N (a burst of noise before every Nth line), lf-endings (CR LF and
                      a line's last CR sent as LF); repeat for several
  --serial LINK       on a pseudo-terminal instead of TCP, as an RS-232 scale; LINK becomes
                      a symbolic link to it (for ser2net), one per scale, removed when the
                      emulator ends; the line is cut when the emulator ends or a reset or
                      close fault strikes
  --baud B            speed of the serial line, 8N1 (default 9600: about 960 bytes a second)

  -h, --help          this help
  -v, --version       the version

Each scale prints "scale N: 127.0.0.1:PORT" (or "scale N: serial LINK") once it listens.
Exit status: 0 after SIGINT or SIGTERM, 1 when a port or a link cannot be served, 2 for a bad
command line.
)";
}

}  // namespace emulator
