# ASan and UBSan for the whole build; every target links station_sanitizers.
add_library(station_sanitizers INTERFACE)
if(STATION_SANITIZE)
    set(_station_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined
        -fno-omit-frame-pointer)
    target_compile_options(station_sanitizers INTERFACE ${_station_sanitize_flags})
    target_link_options(station_sanitizers INTERFACE ${_station_sanitize_flags})
endif()
