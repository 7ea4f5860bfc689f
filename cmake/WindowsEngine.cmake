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

# POSIX names the shared code uses (localtime_r) come with the thread-safe functions of mingw-w64.
add_compile_definitions(_POSIX_THREAD_SAFE_FUNCTIONS)
# GCC 12 sees overlapping copies in std::string's operator+ that cannot happen (GCC bug 105329).
add_compile_options(-Wno-restrict)

enable_testing()
include(GoogleTest)

add_subdirectory(src/common)
add_subdirectory(src/protocol)
add_subdirectory(src/serial)
add_subdirectory(src/engine)
# The command line's link list names QtCore for the Linux build; nothing built here uses Qt, so the name
# stands for nothing.
add_library(Qt6::Core INTERFACE IMPORTED)
add_subdirectory(src/cli)
target_compile_options(tarnel_cli PRIVATE -include ${CMAKE_CURRENT_LIST_DIR}/windows/PosixPaths.h)
add_subdirectory(tests/wine)
