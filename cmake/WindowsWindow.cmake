# The window's Windows build: the window and its libraries linked statically against the Qt and libjpeg that
# scripts/build-qt-windows cross-builds, and the window's tests run under Wine (label "wine"). Included by
# the top-level CMakeLists.txt instead of its usual layers; the engine's Windows build is a tree of its own
# (WindowsEngine.cmake), so tarnel.exe stays free of Qt.
include(cmake/WindowsCommon.cmake)

set(TARNEL_QT_PREFIX "" CACHE PATH "The static Qt for Windows (scripts/build-qt-windows prints it)")
set(TARNEL_JPEG_PREFIX "" CACHE PATH "The static libjpeg for Windows (scripts/build-qt-windows prints it)")
foreach(prefix TARNEL_QT_PREFIX TARNEL_JPEG_PREFIX)
  if(NOT IS_DIRECTORY "${${prefix}}")
    message(FATAL_ERROR "${prefix} names no folder (\"${${prefix}}\"): run scripts/build-qt-windows, "
                        "or scripts/build-windows, which runs it.")
  endif()
endforeach()
list(APPEND CMAKE_FIND_ROOT_PATH ${TARNEL_QT_PREFIX} ${TARNEL_JPEG_PREFIX})
# moc, uic and rcc are the host's Qt of the very same version.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Test)
set(JPEG_INCLUDE_DIR ${TARNEL_JPEG_PREFIX}/include)
set(JPEG_LIBRARY ${TARNEL_JPEG_PREFIX}/lib/libjpeg.a)
find_package(JPEG REQUIRED)

add_subdirectory(src/common)
add_subdirectory(src/protocol)
add_subdirectory(src/serial)
add_subdirectory(src/engine)
add_subdirectory(src/ui)
add_subdirectory(src/app)
add_subdirectory(tests/wine)
add_subdirectory(packaging/windows)
