# What makes acctmap.exe a Windows tool: its version resource and manifest,
# and the zip that ships it with the README. Included by the top-level
# CMakeLists.txt on the Windows build, after the acctmap target exists.

enable_language(RC)

set(ACCTMAP_DESCRIPTION "acctmap: a passwd line for a Windows account on a Cygwin SSH server")
set(ACCTMAP_VENDOR "The acctmap developers")
set(ACCTMAP_VERSION4 "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
# The same description serves both exes; only the toolchain differs.
if(ACCTMAP_WIDTH STREQUAL "x64")
  set(ACCTMAP_ARCH amd64)
  set(ACCTMAP_PACKAGE_SUFFIX win64)
  # Only NT-family Windows runs 64-bit programs.
  set(ACCTMAP_FILEOS VOS_NT_WINDOWS32)
else()
  set(ACCTMAP_ARCH x86)
  set(ACCTMAP_PACKAGE_SUFFIX win32)
  # The 32-bit exe also serves the Windows 95 family (its legacy listing).
  set(ACCTMAP_FILEOS VOS__WINDOWS32)
endif()

# Toolchains that ship default-manifest.o link it into every program as
# manifest resource 1; a second one would not link. That default is asInvoker
# too, so the program's own is only added where the toolchain brings none.
execute_process(
  COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=default-manifest.o
  OUTPUT_VARIABLE ACCTMAP_DEFAULT_MANIFEST
  OUTPUT_STRIP_TRAILING_WHITESPACE)
if(IS_ABSOLUTE "${ACCTMAP_DEFAULT_MANIFEST}" AND EXISTS "${ACCTMAP_DEFAULT_MANIFEST}")
  message(STATUS "acctmap.exe keeps the toolchain's manifest: ${ACCTMAP_DEFAULT_MANIFEST}")
  set(ACCTMAP_MANIFEST_RESOURCE "")
else()
  configure_file(${CMAKE_CURRENT_LIST_DIR}/acctmap.exe.manifest.in
                 ${CMAKE_CURRENT_BINARY_DIR}/acctmap.exe.manifest @ONLY)
  # 1 = CREATEPROCESS_MANIFEST_RESOURCE_ID, 24 = RT_MANIFEST
  set(ACCTMAP_MANIFEST_RESOURCE "1 24 \"${CMAKE_CURRENT_BINARY_DIR}/acctmap.exe.manifest\"")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/acctmap.rc.in ${CMAKE_CURRENT_BINARY_DIR}/acctmap.rc @ONLY)
target_sources(acctmap PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/acctmap.rc)

# The README as Notepad on any Windows shows it: README.txt, CR LF.
file(READ ${PROJECT_SOURCE_DIR}/README.md ACCTMAP_README)
string(REPLACE "\n" "\r\n" ACCTMAP_README "${ACCTMAP_README}")
file(WRITE ${CMAKE_BINARY_DIR}/README.txt "${ACCTMAP_README}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md)

install(TARGETS acctmap RUNTIME DESTINATION .)
install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME acctmap)
set(CPACK_PACKAGE_VENDOR "${ACCTMAP_VENDOR}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${ACCTMAP_DESCRIPTION}")
# CPack reuses CPACK_PACKAGE_FILE_NAME for its source package, so the checks
# take the names from these.
set(ACCTMAP_PACKAGE_NAME "acctmap-${PROJECT_VERSION}-${ACCTMAP_PACKAGE_SUFFIX}")
set(ACCTMAP_PACKAGE_ZIP ${CMAKE_BINARY_DIR}/package/${ACCTMAP_PACKAGE_NAME}.zip)
set(CPACK_PACKAGE_FILE_NAME ${ACCTMAP_PACKAGE_NAME})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)

# The release checks, steps of the build that fail it as a linker error
# would: every import on the allowlist for the exe's width (imports.txt)
# and the exe stripped; then the zip made by cpack with acctmap.exe and
# README.txt, and nothing else.
add_custom_command(TARGET acctmap POST_BUILD
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DEXE=$<TARGET_FILE:acctmap>
          -DWIDTH=${ACCTMAP_WIDTH} -DLIST=${CMAKE_CURRENT_LIST_DIR}/imports.txt
          -P ${CMAKE_CURRENT_LIST_DIR}/check_imports.cmake
  VERBATIM)
add_custom_target(acctmap_package ALL
  COMMAND ${CMAKE_COMMAND} -DCPACK=${CMAKE_CPACK_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR}
          -DZIP=${ACCTMAP_PACKAGE_ZIP} -DTOP=${ACCTMAP_PACKAGE_NAME}
          -P ${CMAKE_CURRENT_LIST_DIR}/check_package.cmake
  DEPENDS acctmap
  VERBATIM)
