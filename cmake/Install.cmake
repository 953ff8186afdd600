# Installation and the Windows ZIP packages.
#
# Components:
#   program      (the default) the program alone; on POSIX with its manual
#                page, on Windows with README.TXT. It runs against the site's
#                engine, found where the system finds libraries.
#   localengine  the local engine library and recfile, beside the program in
#                bin: cmake --install DIR --component localengine
#   kit          Windows only, for the try-it ZIP: its own copy of the
#                program, the local engine and recfile, a sample data file
#                made by recfile (run under wine) and a README.TXT.
#
# In the Windows build `cpack -G ZIP` (or the target `package`) makes the
# release, Recmeter-VERSION-win32.zip, with no engine in it; the target
# package_localengine (cpack --config CPackLocalEngineConfig.cmake) makes the
# kit, Recmeter-VERSION-win32-localengine.zip, under its own top folder.
include_guard(GLOBAL)
include(GNUInstallDirs)

if(TARGET recmeter)
  install(TARGETS recmeter RUNTIME DESTINATION bin COMPONENT program)
endif()

if(WIN32)
  # Text for Windows users, with Windows line ends.
  foreach(text win32 localengine)
    configure_file(${CMAKE_SOURCE_DIR}/doc/README-${text}.txt.in
      ${CMAKE_BINARY_DIR}/doc/${text}/README.TXT @ONLY NEWLINE_STYLE CRLF)
  endforeach()
  install(FILES ${CMAKE_BINARY_DIR}/doc/win32/README.TXT DESTINATION . COMPONENT program)
else()
  file(STRINGS ${CMAKE_SOURCE_DIR}/doc/recmeter.1 title REGEX "^\\.TH ")
  if(NOT title MATCHES "\"Recmeter ${PROJECT_VERSION}\"")
    message(FATAL_ERROR "doc/recmeter.1 names another version than ${PROJECT_VERSION}: ${title}")
  endif()
  install(FILES ${CMAKE_SOURCE_DIR}/doc/recmeter.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT program)
endif()

set(engine_components localengine)
if(WIN32)
  list(APPEND engine_components kit)
endif()
foreach(component ${engine_components})
  # The DLL's import library is of no use to anyone running the program.
  install(TARGETS localengine recfile
    RUNTIME DESTINATION bin COMPONENT ${component} EXCLUDE_FROM_ALL
    LIBRARY DESTINATION bin COMPONENT ${component} EXCLUDE_FROM_ALL
    ARCHIVE DESTINATION lib COMPONENT import_library EXCLUDE_FROM_ALL)
endforeach()

if(WIN32)
  install(TARGETS recmeter RUNTIME DESTINATION bin COMPONENT kit EXCLUDE_FROM_ALL)
  install(FILES ${CMAKE_BINARY_DIR}/doc/localengine/README.TXT DESTINATION . COMPONENT kit
    EXCLUDE_FROM_ALL)
  # The sample: 200 records of 100 to 120 bytes, two with null filler and
  # one over 64000 bytes, made by this build's recfile.exe. Its output goes
  # to a file, not through a pipe: services that wine starts with it would
  # hold a pipe open, and cpack would wait on it as long as the wine server
  # lives (tests/wine/keeper.sh); the time limit turns any other hang into a
  # failure.
  set(recfile_run ${CMAKE_CROSSCOMPILING_EMULATOR} "$<TARGET_FILE:recfile>")
  set(recfile_log ${CMAKE_BINARY_DIR}/sample-recfile.log)
  install(CODE "
    set(kit \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    file(REMOVE \"\${kit}/sample.dat\")
    foreach(step \"gen;sample.dat;--count=200;--min=100;--max=120;--seed=7\"
                 \"add;sample.dat;100+400x2;70000\")
      execute_process(COMMAND ${recfile_run} \${step}
        WORKING_DIRECTORY \"\${kit}\" RESULT_VARIABLE failed TIMEOUT 300
        OUTPUT_FILE \"${recfile_log}\" ERROR_FILE \"${recfile_log}\")
      if(failed)
        file(READ \"${recfile_log}\" said)
        message(FATAL_ERROR \"recfile \${step}: \${failed}\\n\${said}\")
      endif()
    endforeach()
    message(STATUS \"Made: \${kit}/sample.dat\")"
    COMPONENT kit EXCLUDE_FROM_ALL)
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
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENTS_ALL program)
set(CPACK_ARCHIVE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
include(CPack)

# The kit's configuration: the same, but the kit component alone, under a
# name and top folder of its own.
file(WRITE ${CMAKE_BINARY_DIR}/CPackLocalEngineConfig.cmake
  "include(\"${CMAKE_BINARY_DIR}/CPackConfig.cmake\")\n"
  "set(CPACK_PACKAGE_FILE_NAME \"\${CPACK_ARCHIVE_FILE_NAME}-localengine\")\n"
  "set(CPACK_ARCHIVE_FILE_NAME \"\${CPACK_PACKAGE_FILE_NAME}\")\n"
  "set(CPACK_COMPONENTS_ALL kit)\n")
if(WIN32)
  add_custom_target(package_localengine
    COMMAND ${CMAKE_CPACK_COMMAND} -G ZIP --config ${CMAKE_BINARY_DIR}/CPackLocalEngineConfig.cmake
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR} VERBATIM)
endif()
