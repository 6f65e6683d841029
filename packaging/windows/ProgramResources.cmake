# The resources of pelvaro.exe: its icon (the yellow LED, as on Linux),
# version information and manifest. The icon is rendered from the SVG source
# at configure time.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
find_program(ICOTOOL icotool REQUIRED)
set(windows_dir ${PROJECT_SOURCE_DIR}/packaging/windows)
set(icon_svg ${PROJECT_SOURCE_DIR}/forms/images/led_yellow_on.svg)
set(icon ${CMAKE_CURRENT_BINARY_DIR}/pelvaro.ico)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${icon_svg})
if(NOT EXISTS ${icon} OR ${icon_svg} IS_NEWER_THAN ${icon})
    set(icon_pngs)
    foreach(size 16 24 32 48 64 256)
        set(png ${CMAKE_CURRENT_BINARY_DIR}/icon-${size}.png)
        execute_process(COMMAND ${RSVG_CONVERT} --width ${size} --height ${size} --output ${png}
                                ${icon_svg} COMMAND_ERROR_IS_FATAL ANY)
        list(APPEND icon_pngs ${png})
    endforeach()
    execute_process(COMMAND ${ICOTOOL} --create --output ${icon} ${icon_pngs}
                    COMMAND_ERROR_IS_FATAL ANY)
endif()
set(PELVARO_ICON ${icon} CACHE INTERNAL "The program icon, also the installer's")
set(PELVARO_MANIFEST ${windows_dir}/pelvaro.manifest)
set(PELVARO_RC_DESCRIPTION "Pelvaro")
set(PELVARO_RC_FILE_NAME "pelvaro.exe")
configure_file(${windows_dir}/program.rc.in ${CMAKE_CURRENT_BINARY_DIR}/pelvaro.rc @ONLY)
set(PELVARO_WINDOWS_RESOURCES ${CMAKE_CURRENT_BINARY_DIR}/pelvaro.rc)
