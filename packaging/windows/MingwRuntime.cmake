# The compiler's runtime libraries that every Windows program of the build
# needs, where the compiler itself finds them: shipped beside the programs,
# and found by wine for the tests.
set(PELVARO_MINGW_RUNTIME)
foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                    OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${runtime_path}" OR NOT EXISTS "${runtime_path}")
        message(FATAL_ERROR "The compiler does not know where ${runtime} is")
    endif()
    list(APPEND PELVARO_MINGW_RUNTIME ${runtime_path})
endforeach()
