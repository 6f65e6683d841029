# What every target of ours shares: one include root, the source tree and its
# mirror in the build tree (generated forms and protocol code), so that an
# include names its subsystem ("reader/ReaderProtocol.h"); and the warnings in
# the spelling of the compiler at hand.
add_library(pelvaro_build_options INTERFACE)
target_include_directories(pelvaro_build_options INTERFACE ${PROJECT_SOURCE_DIR}
                                                           ${PROJECT_BINARY_DIR})
set(gnu_like "$<OR:$<CXX_COMPILER_ID:GNU>,$<CXX_COMPILER_ID:Clang>>")
set(msvc "$<CXX_COMPILER_ID:MSVC>")
set(werror "$<BOOL:${PELVARO_WERROR}>")
target_compile_options(pelvaro_build_options INTERFACE
    $<${gnu_like}:-Wall -Wextra>
    $<$<AND:${gnu_like},${werror}>:-Werror>
    $<${msvc}:/W4 /utf-8>
    $<$<AND:${msvc},${werror}>:/WX>)

# A library or program of ours: add_library/add_executable with the shared
# options. The remaining arguments are those of add_library/add_executable.
function(pelvaro_add_library name)
    add_library(${name} ${ARGN})
    target_link_libraries(${name} PUBLIC pelvaro_build_options)
endfunction()

function(pelvaro_add_executable name)
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE pelvaro_build_options)
endfunction()
