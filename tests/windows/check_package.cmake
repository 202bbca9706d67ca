# cpack makes the zip with acctmap.exe and the README under one top folder,
# and nothing else (no test DLL, no gtest).
# Usage: cmake -DCPACK=<cpack> -DBUILD_DIR=<build> -DZIP=<zip> -DTOP=<folder> -P check_package.cmake
file(REMOVE ${ZIP})
execute_process(COMMAND ${CPACK} --config ${BUILD_DIR}/CPackConfig.cmake
                WORKING_DIRECTORY ${BUILD_DIR} OUTPUT_QUIET)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${ZIP} OUTPUT_VARIABLE listing)
string(REGEX MATCHALL "[^\n]*[^/\n]\n" entries "${listing}")
list(SORT entries)
if(NOT "${entries}" STREQUAL "${TOP}/README.md\n;${TOP}/acctmap.exe\n")
  message(FATAL_ERROR "${ZIP} holds [${entries}]")
endif()
