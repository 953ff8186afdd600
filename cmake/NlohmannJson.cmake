# The JSON library (Debian's nlohmann-json3-dev, header only) as the target
# recmeter_json. The cross build searches only the mingw tree, and the
# system's include folder must not join its include path (it would bring
# glibc's headers in): so the library's own headers, and nothing else, are
# copied into the build tree and used from there, in both builds alike.
set(RECMETER_JSON_INCLUDE_DIR "/usr/include" CACHE PATH
    "Folder that holds nlohmann/json.hpp (Debian: nlohmann-json3-dev)")
if(NOT EXISTS "${RECMETER_JSON_INCLUDE_DIR}/nlohmann/json.hpp")
  message(FATAL_ERROR "nlohmann/json.hpp not found in ${RECMETER_JSON_INCLUDE_DIR} "
                      "(apt-get install nlohmann-json3-dev, or set RECMETER_JSON_INCLUDE_DIR)")
endif()
set(recmeter_json_copy "${CMAKE_BINARY_DIR}/json-include")
file(COPY "${RECMETER_JSON_INCLUDE_DIR}/nlohmann" DESTINATION "${recmeter_json_copy}")
add_library(recmeter_json INTERFACE)
target_include_directories(recmeter_json SYSTEM INTERFACE "${recmeter_json_copy}")
