# Fails unless acctmap.exe ships without symbols and every function it
# imports is on the allowlist (imports.txt) for its width, with a documented
# floor no newer than XP, and, for the 32-bit exe, exported by Windows 98.
# Usage: cmake -DOBJDUMP=<objdump> -DEXE=<exe> -DWIDTH=<x86|x64> -DLIST=<imports.txt>
#              -P check_imports.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump)
if(NOT dump MATCHES "symbols stripped")
  message(FATAL_ERROR "${EXE} is not stripped")
endif()
file(STRINGS ${LIST} rows REGEX "^[a-z]")
set(allowed "")
foreach(row IN LISTS rows)
  string(REGEX REPLACE "#.*" "" row "${row}")
  string(REGEX MATCHALL "[^ ]+" fields "${row}")
  list(POP_FRONT fields dll width floor family)
  if(width MATCHES "^(both|${WIDTH})$" AND floor MATCHES "^(2000|xp|rt|crt)$"
     AND (WIDTH STREQUAL "x64" OR family STREQUAL "9x"))
    list(TRANSFORM fields PREPEND "${dll}!")
    list(APPEND allowed ${fields})
  endif()
endforeach()
# objdump lists each DLL's imports as "<hint> <name>" lines after its name.
set(dll "")
set(imports "")
string(REPLACE "\n" ";" lines "${dump}")
foreach(line IN LISTS lines)
  if(line MATCHES "DLL Name: ([^ ]+)\\.dll")
    string(TOLOWER "${CMAKE_MATCH_1}" dll)
  elseif(dll AND line MATCHES "^\t[0-9a-f]+\t +[0-9]+  ([^ ]+)$")
    list(APPEND imports "${dll}!${CMAKE_MATCH_1}")
  endif()
endforeach()
set(refused ${imports})
list(REMOVE_ITEM refused ${allowed})
list(LENGTH imports count)
if(count LESS 20 OR refused)
  message(FATAL_ERROR "${EXE}: ${count} imports, not allowed: ${refused}")
endif()
