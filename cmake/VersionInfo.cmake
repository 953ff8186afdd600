# Version resources for the Windows binaries, so Explorer's file properties
# show what is installed: file version MAJOR.MINOR.PATCH.TWEAK and product
# version MAJOR.MINOR, both from the project version.
include_guard(GLOBAL)

if(NOT WIN32)
  return()
endif()

set(RECMETER_FILE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
foreach(part PATCH TWEAK)
  if("${PROJECT_VERSION_${part}}" STREQUAL "")
    string(APPEND RECMETER_FILE_VERSION ".0")
  else()
    string(APPEND RECMETER_FILE_VERSION ".${PROJECT_VERSION_${part}}")
  endif()
endforeach()

# Adds a version resource to TARGET: its description, and VFT_APP or VFT_DLL.
function(recmeter_version_resource target file_type description)
  set(VERSION_FILE "${RECMETER_FILE_VERSION}")
  string(REPLACE "." "," VERSION_COMMAS "${RECMETER_FILE_VERSION}")
  set(VERSION_FILE_TYPE "${file_type}")
  set(VERSION_DESCRIPTION "${description}")
  set(VERSION_TARGET ${target})
  set(rc "${CMAKE_BINARY_DIR}/version/${target}.rc")
  configure_file("${CMAKE_SOURCE_DIR}/cmake/version.rc.in" "${rc}.in" @ONLY)
  file(GENERATE OUTPUT "${rc}" INPUT "${rc}.in")
  target_sources(${target} PRIVATE "${rc}")
endfunction()

recmeter_version_resource(recmeter VFT_APP
  "Reports the record lengths of a record-manager data file")
recmeter_version_resource(localengine VFT_DLL
  "Recmeter's local engine, for files made by recfile")
