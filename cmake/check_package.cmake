# cpack makes the zip with acctmap.exe and the README (README.txt, CR LF line
# ends) under one top folder, and nothing else (no test DLL, no gtest).
# Usage: cmake -DCPACK=<cpack> -DBUILD_DIR=<build> -DZIP=<zip> -DTOP=<folder> -P check_package.cmake
file(REMOVE ${ZIP})
execute_process(COMMAND ${CPACK} --config ${BUILD_DIR}/CPackConfig.cmake
                WORKING_DIRECTORY ${BUILD_DIR} OUTPUT_QUIET)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${ZIP} OUTPUT_VARIABLE listing)
string(REGEX MATCHALL "[^\n]*[^/\n]\n" entries "${listing}")
list(SORT entries)
if(NOT "${entries}" STREQUAL "${TOP}/README.txt\n;${TOP}/acctmap.exe\n")
  message(FATAL_ERROR "${ZIP} holds [${entries}]")
endif()
# Every line feed with its CR: read as hex, since file(READ) drops no byte then.
file(REMOVE_RECURSE ${BUILD_DIR}/package/unpacked)
file(MAKE_DIRECTORY ${BUILD_DIR}/package/unpacked)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP}
                WORKING_DIRECTORY ${BUILD_DIR}/package/unpacked)
file(READ ${BUILD_DIR}/package/unpacked/${TOP}/README.txt readme HEX)
string(REGEX MATCHALL "(0d)?0a" ends "${readme}")
list(FILTER ends EXCLUDE REGEX "^0d0a$")
if(ends OR NOT readme MATCHES "^23")
  message(FATAL_ERROR "README.txt in ${ZIP} has line feeds without CR")
endif()
