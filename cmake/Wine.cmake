# The Windows build's tests run under Wine: acctmap_tests.exe and the
# end-to-end suite go through CMAKE_CROSSCOMPILING_EMULATOR (a wrapper that
# picks the run's prefix and quiets Wine), and ctest makes one fresh prefix
# per run before it lists the tests. Include before the test targets exist.

# Both builds test in a 64-bit prefix, as most of their users run them; each
# starts its programs with the loader of its own width (Debian: wine64, and
# wine from wine32:i386).
if(ACCTMAP_WIDTH STREQUAL "x64")
  find_program(ACCTMAP_WINE NAMES wine64 PATHS /usr/lib/wine REQUIRED NO_DEFAULT_PATH)
else()
  find_program(ACCTMAP_WINE NAMES wine PATHS /usr/lib/wine REQUIRED NO_DEFAULT_PATH)
endif()
find_program(ACCTMAP_WINESERVER NAMES wineserver PATHS /usr/lib/wine REQUIRED NO_DEFAULT_PATH)
find_program(ACCTMAP_WINE32 NAMES wine PATHS /usr/lib/wine REQUIRED NO_DEFAULT_PATH)

# Debian's 32-bit loader is an i386 program: a kernel built without 32-bit
# support cannot start it, and then no 32-bit Windows program runs on it.
execute_process(COMMAND ${ACCTMAP_WINE32} --version RESULT_VARIABLE ACCTMAP_WINE32_STATUS
                OUTPUT_QUIET ERROR_QUIET)
if(ACCTMAP_WINE32_STATUS EQUAL 0)
  set(ACCTMAP_WINE32_RUNS ON)
else()
  set(ACCTMAP_WINE32_RUNS OFF)
  message(WARNING "This kernel cannot run 32-bit programs (${ACCTMAP_WINE32}: "
                  "${ACCTMAP_WINE32_STATUS}): the tests that run 32-bit Windows programs are skipped.")
endif()
set(ACCTMAP_WINE_RUNS ON)
if(ACCTMAP_WIDTH STREQUAL "x86" AND NOT ACCTMAP_WINE32_RUNS)
  set(ACCTMAP_WINE_RUNS OFF)
  return()
endif()

set(ACCTMAP_WINEPREFIX ${CMAKE_BINARY_DIR}/wine/prefix)
# ld.so picks the fault library of the loader's width (tests/windows/faults).
set(ACCTMAP_FAULTS_PRELOAD "${CMAKE_BINARY_DIR}/tests/windows/faults/$LIB/libacctmapfaults.so")
set(ACCTMAP_FAULTS_CONTROL ${CMAKE_BINARY_DIR}/wine/faults.control)
set(ACCTMAP_WINE_RUN ${CMAKE_BINARY_DIR}/wine/wine-run.sh)
set(ACCTMAP_WINE_KEEPER ${CMAKE_BINARY_DIR}/wine/wine-keeper.sh)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${ACCTMAP_WINE_RUN} @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-keeper.sh.in ${ACCTMAP_WINE_KEEPER} @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-prefix.cmake.in
               ${CMAKE_BINARY_DIR}/wine/wine-prefix.cmake @ONLY)

# Targets made from here on run through the wrapper, gtest discovery
# included.
set(CMAKE_CROSSCOMPILING_EMULATOR ${ACCTMAP_WINE_RUN})

# Before any test list of this directory is read (gtest_discover_tests adds
# its own include files after this one).
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/wine/wine-prefix.cmake)

# One prefix and one registry: tests that run under Wine take turns.
set(ACCTMAP_WINE_TEST_PROPERTIES RESOURCE_LOCK wine_prefix TIMEOUT 120)
