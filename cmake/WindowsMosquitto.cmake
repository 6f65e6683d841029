# libmosquitto for Windows and the OpenSSL it uses, built from Debian's sources
# with mingw-w64 by scripts/windows.sh into one folder: include/, lib/ with the
# import libraries, bin/ with the DLLs. pelvaro_mosquitto is the library for
# whatever speaks MQTT, OpenSSL and the system's certificate stores included;
# PELVARO_MOSQUITTO_RUNTIME lists the DLLs to ship beside the programs.
set(PELVARO_MOSQUITTO_WINDOWS_DIR "" CACHE PATH
    "libmosquitto and OpenSSL for Windows: a folder with include/, lib/ and bin/")
set(mosquitto_dir ${PELVARO_MOSQUITTO_WINDOWS_DIR})
if(NOT EXISTS ${mosquitto_dir}/include/mosquitto.h OR NOT EXISTS ${mosquitto_dir}/include/openssl/ssl.h)
    message(FATAL_ERROR "PELVARO_MOSQUITTO_WINDOWS_DIR must name the folder that "
                        "scripts/windows/build-mosquitto.sh makes")
endif()

set(PELVARO_MOSQUITTO_RUNTIME)
foreach(dll libmosquitto.dll libssl-3-x64.dll libcrypto-3-x64.dll)
    if(NOT EXISTS ${mosquitto_dir}/bin/${dll})
        message(FATAL_ERROR "${dll} is missing from ${mosquitto_dir}/bin")
    endif()
    list(APPEND PELVARO_MOSQUITTO_RUNTIME ${mosquitto_dir}/bin/${dll})
endforeach()

add_library(pelvaro_mosquitto INTERFACE)
target_include_directories(pelvaro_mosquitto SYSTEM INTERFACE ${mosquitto_dir}/include)
target_link_libraries(pelvaro_mosquitto INTERFACE
    ${mosquitto_dir}/lib/libmosquitto.dll.a ${mosquitto_dir}/lib/libssl.dll.a
    ${mosquitto_dir}/lib/libcrypto.dll.a crypt32)
