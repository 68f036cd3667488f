# Warnings, sanitizers and the run-time library search path shared by every target.

add_compile_options(-Wall -Wextra -Wpedantic -Werror=return-type)

if(REELCASTER_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

# A copy of the media libraries in "LibAV" beside the executable wins over the system's.
# DT_RUNPATH (not DT_RPATH) keeps LD_LIBRARY_PATH usable for debugging.
# Built with the install path straight away: otherwise CMake pads the build tree's path with an
# empty entry (room to rewrite it at install time), and an empty entry means the current folder.
set(CMAKE_BUILD_RPATH "\$ORIGIN/LibAV")
set(CMAKE_INSTALL_RPATH "\$ORIGIN/LibAV")
set(CMAKE_BUILD_WITH_INSTALL_RPATH ON)
add_link_options(-Wl,--enable-new-dtags -Wl,--as-needed)

# AUTOMOC with Ninja does not rerun for a target when a header with Q_OBJECT is added to it
# later (its timestamp only follows the headers it saw before). Making the target's own headers
# dependencies of its autogen step brings new ones in.
function(reelcaster_autogen_follows_headers target)
    get_target_property(sources ${target} SOURCES)
    get_target_property(source_dir ${target} SOURCE_DIR)
    set(headers)
    foreach(source IN LISTS sources)
        if(source MATCHES "\\.h$")
            if(NOT IS_ABSOLUTE "${source}")
                set(source "${source_dir}/${source}")
            endif()
            list(APPEND headers "${source}")
        endif()
    endforeach()
    set_property(TARGET ${target} APPEND PROPERTY AUTOGEN_TARGET_DEPENDS ${headers})
endfunction()

# reelcaster_check_layer(<target> FORBIDDEN_MODULES <Qt modules…> ALLOWED_FOLDERS <folders…>
#                        [EXCLUDE <regex>]): the target builds only when none of its sources
# includes a header of a forbidden Qt module, or a project header outside the allowed folders.
function(reelcaster_check_layer target)
    cmake_parse_arguments(LAYER "" "EXCLUDE" "FORBIDDEN_MODULES;ALLOWED_FOLDERS" ${ARGN})
    get_target_property(sources ${target} SOURCES)
    get_target_property(source_dir ${target} SOURCE_DIR)
    set(files)
    foreach(source IN LISTS sources)
        if(NOT IS_ABSOLUTE "${source}")
            set(source "${source_dir}/${source}")
        endif()
        if(source MATCHES "\\.(h|cpp)$" AND NOT (LAYER_EXCLUDE AND source MATCHES "${LAYER_EXCLUDE}"))
            list(APPEND files "${source}")
        endif()
    endforeach()
    get_target_property(qt_core_includes Qt6::Core INTERFACE_INCLUDE_DIRECTORIES)
    list(FILTER qt_core_includes INCLUDE REGEX "/QtCore$")
    list(GET qt_core_includes 0 qt_core_include)
    get_filename_component(qt_headers "${qt_core_include}" DIRECTORY)
    set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}_layer.stamp)
    add_custom_command(OUTPUT ${stamp}
        COMMAND ${CMAKE_COMMAND} "-DSOURCES=${files}" -DQT_HEADERS=${qt_headers}
                "-DFORBIDDEN_MODULES=${LAYER_FORBIDDEN_MODULES}"
                "-DALLOWED_FOLDERS=${LAYER_ALLOWED_FOLDERS}" -DSTAMP=${stamp}
                -P ${PROJECT_SOURCE_DIR}/cmake/CheckLayer.cmake
        DEPENDS ${files} ${PROJECT_SOURCE_DIR}/cmake/CheckLayer.cmake
        COMMENT "Checking the includes of ${target}"
        VERBATIM)
    add_custom_target(${target}_layer DEPENDS ${stamp})
    add_dependencies(${target} ${target}_layer)
endfunction()
