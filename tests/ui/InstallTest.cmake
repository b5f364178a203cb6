cmake_policy(SET CMP0057 NEW)
# Installs the build into PREFIX and checks that the program, its desktop entry and its icon are
# where a desktop's menu finds them.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "install failed: ${status}")
endif()
foreach(installed bin/flarecast share/applications/flarecast.desktop
                  share/icons/hicolor/scalable/apps/flarecast.svg)
    if(NOT EXISTS "${PREFIX}/${installed}")
        message(FATAL_ERROR "not installed: ${installed}")
    endif()
endforeach()
file(STRINGS "${PREFIX}/share/applications/flarecast.desktop" entry)
foreach(line "Exec=flarecast" "Icon=flarecast")
    if(NOT "${line}" IN_LIST entry)
        message(FATAL_ERROR "the desktop entry lacks ${line}")
    endif()
endforeach()
