# The same sources and payload give the same bytes, whichever folder they are
# built in and whenever (tools/reproducible-build.sh checks two clean builds).

# No build folder in the binaries: a file name that reaches them (__FILE__ in
# a header, a debug record) is written relative to the source, build or
# dependency folder. GCC takes the last matching map, so the more specific
# folders come after the source folder that may hold them.
add_compile_options(
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.>"
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=build>"
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${VT_DEPS_DIR}=deps>")

# Static libraries without member times, owners or modes: ar's deterministic
# mode, for ranlib's index as well.
foreach(language C CXX)
    set(CMAKE_${language}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${language}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${language}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
endforeach()

# The time stamp of the PE header and of a library's export table: none, or
# SOURCE_DATE_EPOCH when the build is given one. ld reads that variable
# itself; the link command carries the value of the configuration, so that a
# change of it links again and a build step's own environment cannot differ.
set(VT_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
if(VT_SOURCE_DATE_EPOCH STREQUAL "")
    add_link_options(-Wl,--no-insert-timestamp)
else()
    if(NOT VT_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
        message(FATAL_ERROR "SOURCE_DATE_EPOCH must be a number of seconds, not '${VT_SOURCE_DATE_EPOCH}'")
    endif()
    foreach(language C CXX)
        set(CMAKE_${language}_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${VT_SOURCE_DATE_EPOCH})
    endforeach()
endif()
