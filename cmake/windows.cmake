# The Windows build: Install.exe for i686 with its manifest and version
# resource, the C and C++ runtimes linked in, and the conformance checks.

enable_language(RC)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -O coff")

add_executable(Install ${CMAKE_SOURCE_DIR}/run/main.cpp ${PRODUCT_SOURCES} ${CMAKE_SOURCE_DIR}/res/Install.rc)
target_include_directories(Install PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(Install PRIVATE winspool advapi32)
# Static runtimes, and no default manifest beside our own.
target_link_options(Install PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--subsystem,console)
set_target_properties(Install PROPERTIES OUTPUT_NAME Install SUFFIX .exe)

file(GLOB CONFORMANCE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/conformance/*.cpp)
add_executable(conformance ${CONFORMANCE_TESTS})
target_include_directories(conformance PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(conformance PRIVATE winspool advapi32)
target_link_options(conformance PRIVATE -static -static-libgcc -static-libstdc++)

if(EXISTS ${CMAKE_SOURCE_DIR}/standins/CMakeLists.txt)
  add_subdirectory(${CMAKE_SOURCE_DIR}/standins ${CMAKE_BINARY_DIR}/standins)
endif()
