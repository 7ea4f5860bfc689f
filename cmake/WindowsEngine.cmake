# The Windows build: the layers without Qt, GoogleTest compiled from the Debian sources, and the tests run
# under Wine (label "wine"). Included by the top-level CMakeLists.txt instead of its usual layers.
if(NOT WIN32)
  message(FATAL_ERROR "TARNEL_WINDOWS_ENGINE builds for Windows: configure with "
                      "-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake (scripts/build-windows does).")
endif()

set(TARNEL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to compile for Windows")
if(NOT EXISTS ${TARNEL_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${TARNEL_GTEST_SOURCE}: install the Debian package "
                      "googletest (scripts/install-deps does).")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
# Provides GTest::gtest and GTest::gtest_main as the native build finds them.
add_subdirectory(${TARNEL_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

enable_testing()
include(GoogleTest)

add_subdirectory(src/common)
add_subdirectory(src/protocol)
add_subdirectory(src/serial)
add_subdirectory(tests/wine)
