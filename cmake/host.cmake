# The host build: the installer against winsim, winsim's CLI, tests, benchmarks.

file(GLOB WINSIM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/winsim/*.cpp)
add_library(winsim_core OBJECT ${WINSIM_SOURCES})
target_include_directories(winsim_core PUBLIC ${CMAKE_SOURCE_DIR}/winsim/include ${CMAKE_SOURCE_DIR})

add_library(installer_core STATIC ${PRODUCT_SOURCES})
target_include_directories(installer_core PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/winsim/include)

add_executable(Install ${CMAKE_SOURCE_DIR}/run/main.cpp)
target_link_libraries(Install PRIVATE installer_core winsim_core)

# VormoCheck, the pre-flight check, on the installer's readers.
file(GLOB CHECK_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/check/*.cpp)
list(REMOVE_ITEM CHECK_SOURCES ${CMAKE_SOURCE_DIR}/check/main.cpp)
add_library(check_core STATIC ${CHECK_SOURCES})
target_link_libraries(check_core PUBLIC installer_core)
add_executable(VormoCheck ${CMAKE_SOURCE_DIR}/check/main.cpp)
target_link_libraries(VormoCheck PRIVATE check_core installer_core winsim_core)

add_executable(winsim ${CMAKE_SOURCE_DIR}/winsim/cli/main.cpp)
target_link_libraries(winsim PRIVATE winsim_core)
target_compile_definitions(winsim PRIVATE WINSIM_DIST_DIR="${CMAKE_SOURCE_DIR}/dist")

enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)

set(TEST_DEFINITIONS
  INSTALL_BINARY="$<TARGET_FILE:Install>"
  CHECK_BINARY="$<TARGET_FILE:VormoCheck>"
  WINSIM_BINARY="$<TARGET_FILE:winsim>"
  DIST_DIR="${CMAKE_SOURCE_DIR}/dist"
  SOURCE_DIR="${CMAKE_SOURCE_DIR}")

file(GLOB SUPPORT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
add_library(test_support STATIC ${SUPPORT_SOURCES})
target_link_libraries(test_support PUBLIC installer_core GTest::gtest)
target_include_directories(test_support PUBLIC ${CMAKE_SOURCE_DIR}/winsim/include)
target_include_directories(test_support PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(test_support PUBLIC ${TEST_DEFINITIONS})

file(GLOB UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(unit_tests ${UNIT_TESTS})
target_link_libraries(unit_tests PRIVATE test_support winsim_core GTest::gtest_main)
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS unit)

# winsim's own tests: its printers, its stand-in monitor, links on its drive.
file(GLOB WINSIM_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/winsim/*.cpp)
add_executable(winsim_tests ${WINSIM_TESTS})
target_link_libraries(winsim_tests PRIVATE test_support winsim_core GTest::gtest_main)
add_dependencies(winsim_tests winsim Install)
gtest_discover_tests(winsim_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS winsim)

file(GLOB SCENARIO_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/scenario/*.cpp)
add_executable(scenario_tests ${SCENARIO_TESTS})
target_link_libraries(scenario_tests PRIVATE check_core test_support winsim_core GTest::gtest_main)
add_dependencies(scenario_tests Install VormoCheck winsim)
gtest_discover_tests(scenario_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS scenario)

# The package's property checks and argument list, which VormoAction.dll
# (packaging/action/) runs inside Windows Installer.
add_executable(package_settings_tests ${CMAKE_SOURCE_DIR}/tests/packaging/settings_test.cpp
  ${CMAKE_SOURCE_DIR}/packaging/action/settings.cpp)
target_include_directories(package_settings_tests PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(package_settings_tests PRIVATE GTest::gtest_main)
gtest_discover_tests(package_settings_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS packaging)

# The floors of the product's sources: includes run only downward.
add_test(NAME floors COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/check_floors.sh)
set_tests_properties(floors PROPERTIES LABELS layout)

# Conformance: the same checks against winsim here and against Wine (windows build).
file(GLOB CONFORMANCE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/conformance/*.cpp)
add_executable(conformance ${CONFORMANCE_TESTS})
target_link_libraries(conformance PRIVATE winsim_core)
target_include_directories(conformance PRIVATE ${CMAKE_SOURCE_DIR})
add_test(NAME conformance COMMAND conformance)
set_tests_properties(conformance PROPERTIES LABELS conformance)

find_package(benchmark QUIET)
file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
if(benchmark_FOUND AND BENCH_SOURCES)
  # Built by `make bench` only: the test builds do not need it.
  add_executable(installer_bench EXCLUDE_FROM_ALL ${BENCH_SOURCES})
  target_link_libraries(installer_bench PRIVATE test_support winsim_core benchmark::benchmark)
endif()
