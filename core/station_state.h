#pragma once

#include <array>

#include "core/files/instance_guard.h"
#include "core/reading/receive_buffer.h"
#include "core/settings/connection_settings.h"
#include "core/settings/reading_settings.h"

namespace station {

// What the station keeps per scale beyond its controls: the line not yet ended.
struct ScaleChannel {
    int number;
    ReceiveBuffer receive_buffer;  // 8-bit, as received
};

// The station's run-time state, one per process, touched only on the GUI thread.
struct StationState {
    ConnectionSettings settings;
    ReadingSettings reading;
    std::array<ScaleChannel, kScaleCount> channels{{{1, {}}, {2, {}}, {3, {}}, {4, {}}}};
    char decimal_separator = '\0';
    double simulated_value = 0;
    InstanceGuard instance_guard;
};

StationState& TheStationState();

}  // namespace station
