// The presets' table: each preset's name and its reader, in the order "Rozpoznaj" tries them.
#include <functional>

#include "core/reading/indicator_format.h"
#include "core/reading/preset_formats.h"

namespace station {
namespace {

struct Preset {
    std::string_view name;
    std::function<std::unique_ptr<IndicatorFormat>()> make;
};

const std::vector<Preset>& Presets() {
    static const std::vector<Preset> kPresets{
        {"stx-status", preset::MakeStxStatus},
        {"csv-status", preset::MakeCsvStatus},
        {"letter-status", preset::MakeLetterStatus},
        {"lf-range", preset::MakeLfRange},
        {"stx-polarity", preset::MakeStxPolarity},
        {"marker", preset::MakeMarker},
        {"id-line", preset::MakeIdLine},
        {"dollar", preset::MakeDollar},
        {"w-checksum", preset::MakeWChecksum},
        {"equals", [] { return preset::MakeEqualsFrame(true); }},
        {"equals-forward", [] { return preset::MakeEqualsFrame(false); }},
        {"stx-etx", preset::MakeStxEtx},
        {"block", preset::MakeBlock},
        {"polled", preset::MakePolled},
        {"cr-etx", preset::MakeCrEtx},
        {"sign6-status", preset::MakeSign6Status},
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
