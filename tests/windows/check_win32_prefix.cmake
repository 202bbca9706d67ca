# On a 32-bit Windows (a fresh 32-bit Wine prefix), started from its command
# interpreter: the 32-bit exe prints its usage, the 64-bit exe does not start.
# Usage: cmake -DWINE=<32-bit loader> -DWINESERVER=<server> -DPREFIX=<folder>
#              -DEXE=<exe> -DSTARTS=<ON|OFF> -P check_win32_prefix.cmake
file(REMOVE_RECURSE ${PREFIX})
set(ENV{WINEPREFIX} ${PREFIX})
set(ENV{WINEARCH} win32)
set(ENV{WINEDEBUG} -all)
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=;winemenubuilder.exe=d")
execute_process(COMMAND ${WINE} wineboot --init OUTPUT_QUIET ERROR_QUIET RESULT_VARIABLE booted
                TIMEOUT 300)
string(REPLACE "/" "\\" windows_exe "Z:${EXE}")
# Read back as hex: execute_process and file(READ) would drop the CR of each
# CR LF.
execute_process(COMMAND ${WINE} cmd /c ${windows_exe} -h RESULT_VARIABLE status
                OUTPUT_FILE ${PREFIX}.out ERROR_VARIABLE err TIMEOUT 120)
file(READ ${PREFIX}.out out HEX)
file(REMOVE ${PREFIX}.out)
execute_process(COMMAND ${WINESERVER} -k)
file(REMOVE_RECURSE ${PREFIX})
string(HEX "Usage: acctmap " usage)
if(NOT booted EQUAL 0 OR (STARTS AND NOT (status EQUAL 0 AND out MATCHES "^${usage}.*0d0a$")) OR
   (NOT STARTS AND (status EQUAL 0 OR NOT out STREQUAL "")))
  message(FATAL_ERROR "wineboot ${booted}, status ${status}, out [${out}], err [${err}]")
endif()
