# Windows programs built here run under wine: ctest, the discovery of the
# GoogleTest cases and the tests' own helpers go through wine-run.sh in the
# build folder, which keeps a wine prefix of the build's own and finds Qt's,
# the compiler's, libmosquitto's and OpenSSL's libraries.
find_program(WINE wine REQUIRED)
foreach(runtime_path IN LISTS PELVARO_MINGW_RUNTIME PELVARO_MOSQUITTO_RUNTIME)
    get_filename_component(runtime_dir ${runtime_path} DIRECTORY)
    list(APPEND wine_library_dirs ${runtime_dir})
endforeach()
list(REMOVE_DUPLICATES wine_library_dirs)
list(APPEND wine_library_dirs ${QT6_INSTALL_PREFIX}/bin)
list(JOIN wine_library_dirs ";" PELVARO_WINE_LIBRARY_DIRS)
set(PELVARO_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
