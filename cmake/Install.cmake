# Installation and the ZIP package.
#
# The program looks for the engine beside itself, so both go into bin: on
# POSIX recmeter with liblocalengine.so, on Windows RECMETER.EXE with
# w3btrv7.dll. In the Windows build `cpack -G ZIP` (or the target `package`)
# makes a ZIP holding those two.
include_guard(GLOBAL)

if(TARGET recmeter)
  install(TARGETS recmeter RUNTIME DESTINATION bin)
endif()

if(TARGET localengine)
  # The DLL's import library is of no use to anyone running the program.
  install(TARGETS localengine
    RUNTIME DESTINATION bin
    LIBRARY DESTINATION bin
    ARCHIVE DESTINATION lib EXCLUDE_FROM_ALL)
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Recmeter)
set(CPACK_PACKAGE_VENDOR Recmeter)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Reports the record lengths of a record-manager data file")
if(WIN32)
  set(CPACK_SYSTEM_NAME win32)
endif()
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
include(CPack)
