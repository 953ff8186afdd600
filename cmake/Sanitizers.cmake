# The "sanitize" preset's build: every target of the native build compiled
# and linked with AddressSanitizer and UndefinedBehaviorSanitizer
# (RECMETER_SANITIZE), and instrumented for libFuzzer with the fuzz targets
# built (RECMETER_FUZZ). Clang only; never in the Windows build.
option(RECMETER_SANITIZE "Build every target with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(RECMETER_FUZZ "Instrument every target for libFuzzer and build the fuzz targets" OFF)

if(NOT RECMETER_SANITIZE AND NOT RECMETER_FUZZ)
  return()
endif()

if(CMAKE_CROSSCOMPILING OR WIN32)
  message(FATAL_ERROR "RECMETER_SANITIZE and RECMETER_FUZZ are for the native build only")
endif()
if(RECMETER_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "RECMETER_FUZZ needs clang++ (libFuzzer); use the sanitize preset")
endif()
if(RECMETER_FUZZ AND NOT RECMETER_SANITIZE)
  # The coverage callbacks of programs that are not fuzz targets come from
  # the sanitizer runtime.
  message(FATAL_ERROR "RECMETER_FUZZ needs RECMETER_SANITIZE")
endif()

# Flags for every compile and link. A shared library (the engine) is left
# with the runtime's symbols undefined; the program that loads it carries
# the runtime.
add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
if(RECMETER_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# Every test of this build tree runs with these options unless the caller
# set its own: the first report stops the process with an abort, so a test
# sees a crash even where the process under test is a child whose exit code
# 1 would be an expected outcome. ctest reads the file before any test runs.
set(RECMETER_ASAN_OPTIONS
    "halt_on_error=1:abort_on_error=1:print_stacktrace=1:detect_leaks=1:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=1"
    CACHE STRING "ASAN_OPTIONS for the tests of the sanitize build")
set(RECMETER_UBSAN_OPTIONS "halt_on_error=1:abort_on_error=1:print_stacktrace=1"
    CACHE STRING "UBSAN_OPTIONS for the tests of the sanitize build")
set(_recmeter_sanitizer_env ${CMAKE_BINARY_DIR}/sanitizer_environment.cmake)
file(WRITE ${_recmeter_sanitizer_env}
  "if(NOT DEFINED ENV{ASAN_OPTIONS})\n"
  "  set(ENV{ASAN_OPTIONS} \"${RECMETER_ASAN_OPTIONS}\")\n"
  "endif()\n"
  "if(NOT DEFINED ENV{UBSAN_OPTIONS})\n"
  "  set(ENV{UBSAN_OPTIONS} \"${RECMETER_UBSAN_OPTIONS}\")\n"
  "endif()\n")
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY TEST_INCLUDE_FILES ${_recmeter_sanitizer_env})
