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
