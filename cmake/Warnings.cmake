# Every target of the project links station_warnings, so one switch governs them all.
add_library(station_warnings INTERFACE)
target_compile_options(station_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wold-style-cast
    -Wnon-virtual-dtor -Woverloaded-virtual)
if(STATION_WERROR)
    target_compile_options(station_warnings INTERFACE -Werror)
endif()
