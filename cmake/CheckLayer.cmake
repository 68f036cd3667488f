# Fails when a source file of a layer includes what the layer may not use: a header of a Qt
# module outside its allowance, or a header of a project folder outside its allowance.
#
#   cmake -DSOURCES="a.cpp;b.h" -DQT_HEADERS=/usr/include/.../qt6 -DFORBIDDEN_MODULES="QtWidgets"
#         -DALLOWED_FOLDERS="engine;core" -DSTAMP=file -P CheckLayer.cmake
cmake_minimum_required(VERSION 3.25)

# The headers of each forbidden module; a few names live in several modules (QAction is
# QtGui's since Qt 6): those stay allowed.
file(GLOB allowed RELATIVE ${QT_HEADERS}/QtCore ${QT_HEADERS}/QtCore/*)
file(GLOB gui RELATIVE ${QT_HEADERS}/QtGui ${QT_HEADERS}/QtGui/*)
list(APPEND allowed ${gui})
foreach(module IN LISTS FORBIDDEN_MODULES)
    file(GLOB names_${module} RELATIVE ${QT_HEADERS}/${module} ${QT_HEADERS}/${module}/*)
    list(REMOVE_ITEM names_${module} ${allowed})
endforeach()

set(faults)
foreach(source IN LISTS SOURCES)
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line IN LISTS includes)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*" "\\1" header "${line}")
        string(REGEX MATCH "^[^/]+" first "${header}")
        if(header MATCHES "^Qt[A-Za-z]+/")
            if(first IN_LIST FORBIDDEN_MODULES)
                list(APPEND faults "${source}: ${header} (${first})")
            endif()
        elseif(header MATCHES "/" AND line MATCHES "\"")
            if(NOT first IN_LIST ALLOWED_FOLDERS)
                list(APPEND faults "${source}: ${header} (folder ${first})")
            endif()
        else()
            foreach(module IN LISTS FORBIDDEN_MODULES)
                if(header IN_LIST names_${module})
                    list(APPEND faults "${source}: ${header} (${module})")
                endif()
            endforeach()
        endif()
    endforeach()
endforeach()

if(faults)
    list(JOIN faults "\n  " text)
    message(FATAL_ERROR "Includes outside the layer's allowance:\n  ${text}")
endif()
file(TOUCH ${STAMP})
