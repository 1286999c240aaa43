# The Windows build: Install.exe for i686 with its manifest and version
# resource, the C and C++ runtimes linked in, and the conformance checks.

enable_language(RC)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -O coff")

# Some mingw-w64 toolchains link a default manifest object (default-manifest.o,
# found on the start-file search path) into every program; beside our own
# manifest the linker refuses it ("multiple non-default manifests"). An empty
# object of that name, found first through -B, keeps it out.
set(NO_DEFAULT_MANIFEST_DIR ${CMAKE_BINARY_DIR}/no-default-manifest)
file(MAKE_DIRECTORY ${NO_DEFAULT_MANIFEST_DIR})
file(WRITE ${NO_DEFAULT_MANIFEST_DIR}/empty.c "/* replaces the toolchain's default manifest */\n")
execute_process(
  COMMAND ${CMAKE_C_COMPILER} -c ${NO_DEFAULT_MANIFEST_DIR}/empty.c -o ${NO_DEFAULT_MANIFEST_DIR}/default-manifest.o
  RESULT_VARIABLE NO_DEFAULT_MANIFEST_RESULT)
if(NOT NO_DEFAULT_MANIFEST_RESULT EQUAL 0)
  message(FATAL_ERROR "cannot compile the empty default-manifest object")
endif()

# Static C and C++ runtimes: the program imports only DLLs of Windows itself.
set(WINDOWS_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

# The installer's code is compiled once for both programs, as a library from
# which each takes what it calls: Install.exe links none of the check's
# reading and forecast.
add_library(installer_objects STATIC ${PRODUCT_SOURCES})
target_include_directories(installer_objects PRIVATE ${CMAKE_SOURCE_DIR})

add_executable(Install ${CMAKE_SOURCE_DIR}/run/main.cpp ${CMAKE_SOURCE_DIR}/res/Install.rc)
target_include_directories(Install PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(Install PRIVATE installer_objects winspool advapi32)
target_link_options(Install PRIVATE ${WINDOWS_STATIC_RUNTIME} -Wl,--subsystem,console -B${NO_DEFAULT_MANIFEST_DIR}/)
set_target_properties(Install PROPERTIES OUTPUT_NAME Install SUFFIX .exe)
set_source_files_properties(${CMAKE_SOURCE_DIR}/res/Install.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/res/Install.manifest)

# VormoCheck.exe: the same manifest rules and version as Install.exe, so
# that Windows tells it the version it tells the installer. The JSON library
# is header-only; only its own folder is put on the cross compiler's path.
set(JSON_INCLUDE_DIR ${CMAKE_BINARY_DIR}/json-include)
if(NOT EXISTS ${JSON_INCLUDE_DIR}/nlohmann/json.hpp)
  find_path(NLOHMANN_JSON_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  file(MAKE_DIRECTORY ${JSON_INCLUDE_DIR})
  file(CREATE_LINK ${NLOHMANN_JSON_DIR}/nlohmann ${JSON_INCLUDE_DIR}/nlohmann SYMBOLIC)
endif()
file(GLOB CHECK_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/check/*.cpp)
add_executable(VormoCheck ${CHECK_SOURCES} ${CMAKE_SOURCE_DIR}/res/VormoCheck.rc)
target_include_directories(VormoCheck PRIVATE ${CMAKE_SOURCE_DIR} ${JSON_INCLUDE_DIR})
target_link_libraries(VormoCheck PRIVATE installer_objects winspool advapi32)
target_link_options(VormoCheck PRIVATE ${WINDOWS_STATIC_RUNTIME} -Wl,--subsystem,console -B${NO_DEFAULT_MANIFEST_DIR}/)
set_target_properties(VormoCheck PROPERTIES OUTPUT_NAME VormoCheck SUFFIX .exe)
set_source_files_properties(${CMAKE_SOURCE_DIR}/res/VormoCheck.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/res/Install.manifest)

file(GLOB CONFORMANCE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/conformance/*.cpp)
add_executable(conformance ${CONFORMANCE_TESTS})
target_include_directories(conformance PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(conformance PRIVATE winspool advapi32)
target_link_options(conformance PRIVATE ${WINDOWS_STATIC_RUNTIME} -Wl,--subsystem,console)

# The package's custom actions.
add_subdirectory(${CMAKE_SOURCE_DIR}/packaging/action ${CMAKE_BINARY_DIR}/packaging-action)

if(EXISTS ${CMAKE_SOURCE_DIR}/standins/CMakeLists.txt)
  add_subdirectory(${CMAKE_SOURCE_DIR}/standins ${CMAKE_BINARY_DIR}/standins)
endif()

# The Wine scenarios' helper: prepares and inspects a Wine prefix from inside.
add_executable(wine_helper ${CMAKE_SOURCE_DIR}/tests/wine/helper/wine_helper.cpp)
target_link_libraries(wine_helper PRIVATE winspool advapi32)
target_link_options(wine_helper PRIVATE ${WINDOWS_STATIC_RUNTIME})
