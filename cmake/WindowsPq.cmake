# libpq for Windows, built from Debian's sources with mingw-w64 by
# scripts/windows.sh into one folder: its headers, libpq.dll and the OpenSSL
# DLLs it was linked with. The programs bind libpq.dll from their own
# directory, and it finds OpenSSL's beside it, so a build puts all three
# beside the programs; PELVARO_PQ_RUNTIME lists what to ship besides
# libmosquitto's OpenSSL, which is the same.
set(PELVARO_PQ_WINDOWS_DIR "" CACHE PATH "Folder with libpq-fe.h and libpq.dll for Windows")
set(pq_dir ${PELVARO_PQ_WINDOWS_DIR})
set(pq_dlls libpq.dll libssl-3-x64.dll libcrypto-3-x64.dll)
foreach(file libpq-fe.h postgres_ext.h pg_config_ext.h ${pq_dlls})
    if(NOT EXISTS ${pq_dir}/${file})
        message(FATAL_ERROR "PELVARO_PQ_WINDOWS_DIR must name the folder that "
                            "scripts/windows/build-libpq.sh makes; ${file} is missing")
    endif()
endforeach()
set(PELVARO_PQ_RUNTIME ${pq_dir}/libpq.dll)

set(pq_beside_programs)
foreach(dll IN LISTS pq_dlls)
    add_custom_command(OUTPUT ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${dll}
        COMMAND ${CMAKE_COMMAND} -E copy ${pq_dir}/${dll} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${dll}
        DEPENDS ${pq_dir}/${dll}
        COMMENT "Placing ${dll} beside the programs")
    list(APPEND pq_beside_programs ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${dll})
endforeach()
add_custom_target(pelvaro_pq_runtime ALL DEPENDS ${pq_beside_programs})
