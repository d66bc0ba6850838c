#include "core/station_state.h"

namespace station {

StationState& TheStationState() {
    static StationState state;
    return state;
}

}  // namespace station
