# Warnings, sanitizers and the run-time library search path shared by every target.

add_compile_options(-Wall -Wextra -Wpedantic)

if(REELCASTER_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

# A copy of the media libraries in "LibAV" beside the executable wins over the system's.
# DT_RUNPATH (not DT_RPATH) keeps LD_LIBRARY_PATH usable for debugging.
set(CMAKE_BUILD_RPATH "\$ORIGIN/LibAV")
set(CMAKE_INSTALL_RPATH "\$ORIGIN/LibAV")
add_link_options(-Wl,--enable-new-dtags -Wl,--as-needed)
