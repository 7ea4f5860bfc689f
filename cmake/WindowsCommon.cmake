# What every Windows build shares: GoogleTest compiled from the Debian sources, the POSIX names the shared
# code uses, and the one way a Windows program runs here (tests/wine/run-wine: the build's own Wine prefix
# in a private mount namespace without the host's serial ports), for test listings as for test runs.
if(NOT WIN32)
  message(FATAL_ERROR "The Windows builds need -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake "
                      "(scripts/build-windows sets it).")
endif()

set(TARNEL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to compile for Windows")
if(NOT EXISTS ${TARNEL_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${TARNEL_GTEST_SOURCE}: install the Debian package "
                      "googletest (scripts/build-windows does).")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
# Provides GTest::gtest and GTest::gtest_main as the native build finds them.
add_subdirectory(${TARNEL_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# POSIX names the shared code uses (localtime_r) come with the thread-safe functions of mingw-w64.
add_compile_definitions(_POSIX_THREAD_SAFE_FUNCTIONS)
# GCC 12 sees overlapping copies in std::string's operator+ that cannot happen (GCC bug 105329).
add_compile_options(-Wno-restrict)

if(NOT TARNEL_WINE)
  message(FATAL_ERROR "No Wine to run the Windows tests with: install wine and wine64 "
                      "(scripts/build-windows does).")
endif()
set(TARNEL_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(TARNEL_WINE_RUN ${PROJECT_SOURCE_DIR}/tests/wine/run-wine ${TARNEL_WINE_PREFIX} ${TARNEL_WINE})
# Whatever CMake runs of ours (test listings included) goes through the harness, never a bare Wine in the
# user's own prefix, where the host's /dev/ttyS0 would be COM1.
set(CMAKE_CROSSCOMPILING_EMULATOR ${TARNEL_WINE_RUN})

enable_testing()
include(GoogleTest)
