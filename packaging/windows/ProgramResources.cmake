# The resources of a Windows program of Pelvaro: its icon (the yellow LED, as
# on Linux), version information and manifest. The icon is rendered from the
# SVG source at configure time.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
find_program(ICOTOOL icotool REQUIRED)
set(PELVARO_WINDOWS_DIR ${CMAKE_CURRENT_LIST_DIR})
set(icon_svg ${PROJECT_SOURCE_DIR}/forms/images/led_yellow_on.svg)
set(PELVARO_ICON ${CMAKE_BINARY_DIR}/pelvaro.ico)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${icon_svg})
if(NOT EXISTS ${PELVARO_ICON} OR ${icon_svg} IS_NEWER_THAN ${PELVARO_ICON})
    set(icon_pngs)
    foreach(size 16 24 32 48 64 256)
        set(png ${CMAKE_BINARY_DIR}/icon-${size}.png)
        execute_process(COMMAND ${RSVG_CONVERT} --width ${size} --height ${size} --output ${png}
                                ${icon_svg} COMMAND_ERROR_IS_FATAL ANY)
        list(APPEND icon_pngs ${png})
    endforeach()
    execute_process(COMMAND ${ICOTOOL} --create --output ${PELVARO_ICON} ${icon_pngs}
                    COMMAND_ERROR_IS_FATAL ANY)
endif()

# Gives TARGET the icon, the manifest and version information that describes
# it as DESCRIPTION.
function(pelvaro_windows_resources target description)
    set(PELVARO_MANIFEST ${PELVARO_WINDOWS_DIR}/pelvaro.manifest)
    set(PELVARO_RC_DESCRIPTION ${description})
    set(PELVARO_RC_FILE_NAME ${target}.exe)
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
    configure_file(${PELVARO_WINDOWS_DIR}/program.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
endfunction()
