# What every build of the project's code shares: warnings, sanitizers, and the layers' include
# paths. Included by the project and by the fuzzers' project.
include(${CMAKE_CURRENT_LIST_DIR}/Warnings.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/Sanitizers.cmake)

# Warnings and sanitizers for one target of ours; every library, program and test calls it.
function(station_defaults target)
    target_link_libraries(${target} PRIVATE station_warnings station_sanitizers)
endfunction()

# Makes the headers of the library `target` in the current source folder includable as
# "FOLDER/name.h" by it and its dependants, and nothing else of the tree: each library gets an
# include root of its own holding only a link to its folder, so that core cannot include net/
# or ui/, and net cannot include core/ or ui/.
function(station_layer target)
    get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    set(root ${CMAKE_BINARY_DIR}/layers/${folder})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${folder} SYMBOLIC)
    target_include_directories(${target} PUBLIC ${root})
endfunction()
