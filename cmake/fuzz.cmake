# The fuzz build: libFuzzer targets over the installer and winsim, with
# AddressSanitizer and UndefinedBehaviorSanitizer (clang; `cmake --preset fuzz`).
# Every target is one tests/fuzz/fuzz_NAME.cpp; tests/fuzz/corpus/NAME/ holds
# its seeds and the inputs of crashes found and fixed.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "the fuzz build needs clang: cmake --preset fuzz")
endif()

set(FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all)
add_compile_options(${FUZZ_SANITIZERS} -fno-omit-frame-pointer -g -O1)
add_link_options(${FUZZ_SANITIZERS})

file(GLOB WINSIM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/winsim/*.cpp)
add_library(winsim_core OBJECT ${WINSIM_SOURCES})
target_include_directories(winsim_core PUBLIC ${CMAKE_SOURCE_DIR}/winsim/include ${CMAKE_SOURCE_DIR})
# The profile files' parser and lists are guided too: fuzz_profile_lists
# reaches nothing else.
set_source_files_properties(${CMAKE_SOURCE_DIR}/winsim/profile.cpp PROPERTIES COMPILE_OPTIONS -fsanitize=fuzzer-no-link)

add_library(installer_core STATIC ${PRODUCT_SOURCES})
target_include_directories(installer_core PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/winsim/include)
# Coverage guides the fuzzer through the installer's own code (and each
# target's checks); winsim (but its profile files) and the harness run
# sanitized but unguided.
target_compile_options(installer_core PRIVATE -fsanitize=fuzzer-no-link)

# The harness: machines in temporary folders (tests/support) and the
# per-input reset of tests/fuzz/fuzz_support.cpp.
add_library(fuzz_support STATIC ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_support.cpp
                                ${CMAKE_SOURCE_DIR}/tests/support/machine.cpp)
target_include_directories(fuzz_support PUBLIC ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/winsim/include)
target_link_libraries(fuzz_support PUBLIC installer_core)
# The host binary is not built here; the in-process harness never starts it.
target_compile_definitions(fuzz_support PUBLIC DIST_DIR="${CMAKE_SOURCE_DIR}/dist" INSTALL_BINARY="/bin/false")

# The pre-flight check, for its own target.
file(GLOB CHECK_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/check/*.cpp)
list(REMOVE_ITEM CHECK_SOURCES ${CMAKE_SOURCE_DIR}/check/main.cpp)
add_library(check_core STATIC ${CHECK_SOURCES})
target_link_libraries(check_core PUBLIC installer_core)
target_compile_options(check_core PRIVATE -fsanitize=fuzzer-no-link)

file(GLOB FUZZ_TARGETS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
list(REMOVE_ITEM FUZZ_TARGETS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_support.cpp)
foreach(source ${FUZZ_TARGETS})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE check_core fuzz_support installer_core winsim_core)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endforeach()
