# Runs cpack in the Windows build and checks the zip: acctmap.exe and the
# README, under one top folder, and nothing else (no test DLL, no gtest).
# Usage: cmake -DCPACK=<cpack> -DBUILD_DIR=<build> -DZIP=<zip> -DTOP=<folder> -P check_package.cmake
file(REMOVE ${ZIP})
execute_process(COMMAND ${CPACK} --config ${BUILD_DIR}/CPackConfig.cmake
                WORKING_DIRECTORY ${BUILD_DIR} RESULT_VARIABLE status OUTPUT_VARIABLE log
                ERROR_VARIABLE log)
if(NOT status EQUAL 0 OR NOT EXISTS ${ZIP})
  message(FATAL_ERROR "cpack did not make ${ZIP} (${status}):\n${log}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${ZIP} OUTPUT_VARIABLE listing
                RESULT_VARIABLE status)
string(REGEX REPLACE "\n$" "" listing "${listing}")
string(REPLACE "\n" ";" entries "${listing}")
list(FILTER entries EXCLUDE REGEX "/$")
list(SORT entries)
set(expected "${TOP}/README.md;${TOP}/acctmap.exe")
if(NOT entries STREQUAL expected)
  message(FATAL_ERROR "The zip holds [${entries}], expected [${expected}]")
endif()
message(STATUS "${ZIP}: ${entries}")
