// The presets' table: each preset's name, its reader and what its frames look like, in the
// order the settings list them and "Rozpoznaj" ranks alike fits.
#include <functional>

#include "core/reading/indicator_format.h"
#include "core/reading/preset_formats.h"

namespace station {
namespace {

struct Preset {
    std::string_view name;
    std::function<std::unique_ptr<IndicatorFormat>()> make;
    std::string_view description;  // one line for the installer, UTF-8
};

const std::vector<Preset>& Presets() {
    static const std::vector<Preset> kPresets{
        {"stx-status", preset::MakeStxStatus,
         "STX, 3 bajty statusu (przecinek, znak, ruch, jednostka), 6 cyfr, CR, suma kontrolna"},
        {"csv-status", preset::MakeCsvStatus,
         "ST/US/OL/UL, GS/NT, masa z jednostką, pola oddzielone przecinkami"},
        {"letter-status", preset::MakeLetterStatus,
         "S S (stabilna) lub S D (w ruchu), masa i jednostka; S + / S - poza zakresem"},
        {"lf-range", preset::MakeLfRange,
         "LF, status, zakres, G/N, ruch, masa w 10 znakach, jednostka, CR"},
        {"stx-polarity", preset::MakeStxPolarity,
         "STX, znak, masa w 7 znakach, litera jednostki, G/N, status, CR LF"},
        {"marker", preset::MakeMarker,
         "masa i jednostka do prawej, „?” w ruchu; także odpowiedź na polecenie"},
        {"id-line", preset::MakeIdLine,
         "16 znaków: znak, masa, jednostka (bez niej w ruchu), może po identyfikatorze"},
        {"dollar", preset::MakeDollar,
         "„$”, cyfra statusu i 5 cyfr; lub netto, tara, jednostka i status"},
        {"w-checksum", preset::MakeWChecksum,
         "„W”, G/N, masa w 7 znakach, jednostka, suma XOR (2 cyfry szesnastkowe), CR LF"},
        {"equals", [] { return preset::MakeEqualsFrame(true); },
         "„=” i masa zapisana od końca (znak na końcu), bez końca linii"},
        {"equals-forward", [] { return preset::MakeEqualsFrame(false); },
         "„=” i masa w zwykłej kolejności, bez końca linii"},
        {"stx-etx", preset::MakeStxEtx,
         "STX, znak, 6 cyfr, liczba miejsc po przecinku, suma XOR, ETX; lub masa i status"},
        {"block", preset::MakeBlock,
         "blok linii brutto, tara, netto (z etykietami lub bez); pokazuje netto"},
        {"polled", preset::MakePolled, "STX, masa, CR, na zapytanie"},
        {"cr-etx", preset::MakeCrEtx,
         "CR, znak, masa, status, jednostka w 2 kolumnach, tryb brutto/netto, ETX"},
        {"sign6-status", preset::MakeSign6Status,
         "znak, 6 cyfr, jednostka, G/N, status w 2 literach (MO ruch, OC przeciążenie), CR"},
    };
    return kPresets;
}

}  // namespace

std::unique_ptr<IndicatorFormat> MakePreset(std::string_view name) {
    for (const Preset& preset : Presets()) {
        if (preset.name == name) {
            return preset.make();
        }
    }
    return nullptr;
}

std::string_view PresetDescription(std::string_view name) {
    for (const Preset& preset : Presets()) {
        if (preset.name == name) {
            return preset.description;
        }
    }
    return {};
}

const std::vector<std::string_view>& PresetNames() {
    static const std::vector<std::string_view> kNames = [] {
        std::vector<std::string_view> all;
        for (const Preset& preset : Presets()) {
            all.push_back(preset.name);
        }
        return all;
    }();
    return kNames;
}

}  // namespace station
