# The "sanitize" preset's build: every target of the native build compiled
# and linked with AddressSanitizer and UndefinedBehaviorSanitizer
# (RECMETER_SANITIZE), and instrumented for libFuzzer with the fuzz targets
# built (RECMETER_FUZZ). The "tsan" preset's: every target with
# ThreadSanitizer (RECMETER_TSAN), which cannot share a process with
# AddressSanitizer. Clang only; never in the Windows build.
option(RECMETER_SANITIZE "Build every target with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(RECMETER_FUZZ "Instrument every target for libFuzzer and build the fuzz targets" OFF)
option(RECMETER_TSAN "Build every target with ThreadSanitizer" OFF)

if(NOT RECMETER_SANITIZE AND NOT RECMETER_FUZZ AND NOT RECMETER_TSAN)
  return()
endif()

if(CMAKE_CROSSCOMPILING OR WIN32)
  message(FATAL_ERROR "RECMETER_SANITIZE, RECMETER_FUZZ and RECMETER_TSAN are for the native build only")
endif()
if(RECMETER_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "RECMETER_FUZZ needs clang++ (libFuzzer); use the sanitize preset")
endif()
if(RECMETER_FUZZ AND NOT RECMETER_SANITIZE)
  # The coverage callbacks of programs that are not fuzz targets come from
  # the sanitizer runtime.
  message(FATAL_ERROR "RECMETER_FUZZ needs RECMETER_SANITIZE")
endif()
if(RECMETER_TSAN AND RECMETER_SANITIZE)
  message(FATAL_ERROR "RECMETER_TSAN and RECMETER_SANITIZE exclude each other; use the tsan preset")
endif()

# Every test of this build tree runs with the sanitizers' options below
# unless the caller set its own: the first report stops the process with an
# abort, so a test sees a crash even where the process under test is a child
# whose exit code 1 would be an expected outcome.
if(RECMETER_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
  set(RECMETER_TSAN_OPTIONS "halt_on_error=1:abort_on_error=1:second_deadlock_stack=1"
      CACHE STRING "TSAN_OPTIONS for the tests of the tsan build")
  set(_recmeter_sanitizers TSAN)
else()
  # Flags for every compile and link. A shared library (the engine) is left
  # with the runtime's symbols undefined; the program that loads it carries
  # the runtime.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
  if(RECMETER_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link)
  endif()
  set(RECMETER_ASAN_OPTIONS
      "halt_on_error=1:abort_on_error=1:print_stacktrace=1:detect_leaks=1:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=1"
      CACHE STRING "ASAN_OPTIONS for the tests of the sanitize build")
  set(RECMETER_UBSAN_OPTIONS "halt_on_error=1:abort_on_error=1:print_stacktrace=1"
      CACHE STRING "UBSAN_OPTIONS for the tests of the sanitize build")
  set(_recmeter_sanitizers ASAN UBSAN)
endif()

# ctest reads this file before any test runs.
set(_recmeter_sanitizer_env ${CMAKE_BINARY_DIR}/sanitizer_environment.cmake)
file(WRITE ${_recmeter_sanitizer_env} "")
foreach(_name IN LISTS _recmeter_sanitizers)
  file(APPEND ${_recmeter_sanitizer_env}
    "if(NOT DEFINED ENV{${_name}_OPTIONS})\n"
    "  set(ENV{${_name}_OPTIONS} \"${RECMETER_${_name}_OPTIONS}\")\n"
    "endif()\n")
endforeach()
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY TEST_INCLUDE_FILES ${_recmeter_sanitizer_env})
